#include "devicelink.h"

QString DeviceLink::addressRefusal(int) const
{
    return QString();
}

bool DeviceLink::isConnecting() const
{
    return false;
}

bool DeviceLink::readsBlocks() const
{
    return false;
}

quint64 DeviceLink::readBlock(const QVector<VariableLink> &, int)
{
    return 0;
}

int DeviceLink::pauseAfterFailure(int usualDelayMs) const
{
    return usualDelayMs;
}

quint64 DeviceLink::nextRequestId()
{
    return ++m_lastRequestId;
}

void DeviceLink::enableTrace()
{
    m_tracing = true;
}

bool DeviceLink::tracing() const
{
    return m_tracing;
}
