#include "devicelink.h"

bool DeviceLink::isConnecting() const
{
    return false;
}

int DeviceLink::pauseAfterFailure(int usualDelayMs) const
{
    return usualDelayMs;
}

quint64 DeviceLink::nextRequestId()
{
    return ++m_lastRequestId;
}
