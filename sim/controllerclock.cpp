#include "controllerclock.h"

#include "clockblock.h"
#include "velmorbusconstants.h"

QDateTime ControllerClock::now() const
{
    return QDateTime::currentDateTime().addMSecs(m_offsetMs);
}

QByteArray ControllerClock::read() const
{
    return ClockBlock::encode(now());
}

bool ControllerClock::write(const QByteArray &block)
{
    if (block.size() != Velmorbus::clockBlockSize)
        return false;
    const QDateTime dateTime = ClockBlock::decode(block);
    if (!dateTime.isValid())
        return false;
    m_offsetMs = QDateTime::currentDateTime().msecsTo(dateTime);
    return true;
}
