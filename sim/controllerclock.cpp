#include "controllerclock.h"

#include <QtEndian>

QDateTime ControllerClock::now() const
{
    return QDateTime::currentDateTime().addMSecs(m_offsetMs);
}

QByteArray ControllerClock::read() const
{
    return encode(now());
}

bool ControllerClock::write(const QByteArray &block)
{
    const QDateTime dateTime = decode(block);
    if (!dateTime.isValid())
        return false;
    m_offsetMs = QDateTime::currentDateTime().msecsTo(dateTime);
    return true;
}

QByteArray ControllerClock::encode(const QDateTime &dateTime)
{
    const QDate date = dateTime.date();
    const QTime time = dateTime.time();
    QByteArray block(BlockSize, '\0');
    block[0] = char(time.second());
    block[1] = char(time.minute());
    block[2] = char(time.hour());
    block[3] = char(date.day());
    block[4] = char(date.month());
    qToLittleEndian(quint16(date.year()), block.data() + 5);
    block[7] = char(date.dayOfWeek());
    return block;
}

QDateTime ControllerClock::decode(const QByteArray &block)
{
    if (block.size() != BlockSize)
        return QDateTime();
    const auto byteAt = [&block](int offset) { return int(quint8(block.at(offset))); };
    const QDate date(qFromLittleEndian<quint16>(block.constData() + 5), byteAt(4), byteAt(3));
    const QTime time(byteAt(2), byteAt(1), byteAt(0));
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time);
}
