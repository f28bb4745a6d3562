#include "traceline.h"

namespace TraceLine {

QString text(const QDateTime &time, bool sent, const QByteArray &bytes)
{
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) + QLatin1String(sent ? " > " : " < ")
           + QString::fromLatin1(bytes.toHex(' ').toUpper());
}

} // namespace TraceLine
