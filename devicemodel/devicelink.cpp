#include "devicelink.h"

DeviceLink::DeviceLink(const ProtocolTraits &protocol, QObject *parent)
    : QObject(parent)
    , m_protocol(protocol)
{
}

const ProtocolTraits &DeviceLink::protocol() const
{
    return m_protocol;
}

QString DeviceLink::addressRefusal(int) const
{
    return QString();
}

bool DeviceLink::isConnecting() const
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
