#ifndef TRACELINE_H
#define TRACELINE_H

#include <QByteArray>
#include <QDateTime>
#include <QString>

// One line of --trace: local time with milliseconds, ">" sent or "<" received, and the
// bytes in upper-case hex, e.g. "2026-03-01 14:05:09.042 > 01 03 00 28 00 01".
namespace TraceLine {

QString text(const QDateTime &time, bool sent, const QByteArray &bytes);

} // namespace TraceLine

#endif // TRACELINE_H
