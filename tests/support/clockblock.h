#ifndef CLOCKBLOCK_H
#define CLOCKBLOCK_H

#include <QByteArray>
#include <QDateTime>

// The controller's 8-byte clock block: second, minute, hour, day, month, year
// (little-endian), day of week 1 = Monday.
QByteArray clockBlockBytes(const QDateTime &time);
// Invalid when the block is not 8 bytes long.
QDateTime clockBlockTime(const QByteArray &bytes);

#endif // CLOCKBLOCK_H
