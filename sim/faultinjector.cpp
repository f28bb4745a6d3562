#include "faultinjector.h"

#include <QStringList>

namespace {

const QStringList &faultNames()
{
    // In the order of the Fault enumeration.
    static const QStringList names = { "none", "silence", "wrong-id", "bad-crc", "short", "bad-status", "exception" };
    return names;
}

} // namespace

FaultInjector::FaultInjector(double rate, const QVector<Fault> &faults, quint32 seed)
    : m_rate(rate)
    , m_faults(faults)
    , m_random(seed)
{
}

FaultInjector::Fault FaultInjector::next()
{
    if (m_faults.isEmpty() || m_rate <= 0)
        return NoFault;
    if (m_random.generateDouble() >= m_rate)
        return NoFault;
    return m_faults.at(int(m_random.bounded(quint32(m_faults.size()))));
}

QString FaultInjector::name(Fault fault)
{
    return faultNames().at(fault);
}

bool FaultInjector::fromName(const QString &name, Fault *fault)
{
    const int index = faultNames().indexOf(name);
    if (index <= NoFault)
        return false;
    *fault = Fault(index);
    return true;
}
