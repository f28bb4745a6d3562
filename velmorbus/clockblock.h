#ifndef CLOCKBLOCK_H
#define CLOCKBLOCK_H

#include <QByteArray>
#include <QDateTime>

// The controller's real-time clock block of Velmorbus::clockBlockSize bytes: second,
// minute, hour, day, month, year (2 bytes little-endian), day of week (1 = Monday).
namespace ClockBlock {

QByteArray encode(const QDateTime &dateTime);
// Local wall-clock time; invalid when the block is short or its numbers form no date and
// time. The day-of-week byte is not needed to build the date.
QDateTime decode(const QByteArray &block);

} // namespace ClockBlock

#endif // CLOCKBLOCK_H
