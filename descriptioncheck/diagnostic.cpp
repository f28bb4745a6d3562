#include "diagnostic.h"

QString Diagnostic::format(const QString &fileName) const
{
    const QString severityName = severity == Severity::Error ? QStringLiteral("error") : QStringLiteral("warning");
    return QStringLiteral("%1:%2:%3: %4: %5").arg(fileName).arg(line).arg(column).arg(severityName, text);
}
