#ifndef CONTROLLERCLOCK_H
#define CONTROLLERCLOCK_H

#include <QByteArray>
#include <QDateTime>

// The controller's real-time clock: an offset from the computer's local time, so the
// clock runs on after it has been set. It travels as the Velmorbus clock block.
class ControllerClock
{
public:
    QDateTime now() const;
    QByteArray read() const;
    // False, and the clock unchanged, when the bytes form no valid date and time.
    bool write(const QByteArray &block);

private:
    qint64 m_offsetMs = 0;
};

#endif // CONTROLLERCLOCK_H
