#ifndef CONTROLLERCLOCK_H
#define CONTROLLERCLOCK_H

#include <QByteArray>
#include <QDateTime>

// The controller's real-time clock: an offset from the computer's local time, so the
// clock runs on after it has been set.
class ControllerClock
{
public:
    static constexpr quint16 Address = 0x0C02;
    static constexpr int BlockSize = 8;

    QDateTime now() const;
    // second, minute, hour, day, month (one byte each), year (2 bytes little-endian),
    // day of week 1 = Monday .. 7 = Sunday.
    QByteArray read() const;
    // False, and the clock unchanged, when the bytes form no valid date and time.
    bool write(const QByteArray &block);

    static QByteArray encode(const QDateTime &dateTime);
    static QDateTime decode(const QByteArray &block);

private:
    qint64 m_offsetMs = 0;
};

#endif // CONTROLLERCLOCK_H
