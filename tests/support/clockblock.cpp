#include "clockblock.h"

#include <QtEndian>

namespace {
constexpr int ClockBlockSize = 8;
}

QByteArray clockBlockBytes(const QDateTime &time)
{
    QByteArray bytes(ClockBlockSize, '\0');
    bytes[0] = char(time.time().second());
    bytes[1] = char(time.time().minute());
    bytes[2] = char(time.time().hour());
    bytes[3] = char(time.date().day());
    bytes[4] = char(time.date().month());
    qToLittleEndian<quint16>(quint16(time.date().year()), bytes.data() + 5);
    bytes[7] = char(time.date().dayOfWeek());
    return bytes;
}

QDateTime clockBlockTime(const QByteArray &bytes)
{
    if (bytes.size() != ClockBlockSize)
        return QDateTime();
    const auto at = [&bytes](int offset) { return int(quint8(bytes.at(offset))); };
    return QDateTime(QDate(qFromLittleEndian<quint16>(bytes.constData() + 5), at(4), at(3)),
                     QTime(at(2), at(1), at(0)));
}
