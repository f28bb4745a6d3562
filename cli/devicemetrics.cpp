#include "devicemetrics.h"

#include "pollsession.h"
#include "readingfeed.h"
#include "variablelabel.h"
#include "velmordevicemodel.h"

#include <set>

namespace {

// Cycle times range from tens of milliseconds (a few variables over TCP) to minutes
// (hundreds of variables on a slow serial line).
const prometheus::Histogram::BucketBoundaries cycleBucketsSeconds{0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10, 30, 60, 120};

std::string utf8(const QString &text)
{
    return text.toStdString();
}

} // namespace

DeviceMetrics::DeviceMetrics(MetricFamilies &families, PollSession *session, QObject *parent)
    : QObject(parent)
    , m_families(families)
    , m_model(session->model())
    , m_device(utf8(session->deviceName()))
    , m_values(m_model->varCount(), nullptr)
    , m_cycles(families.cycles.Add(labels()))
    , m_cycleDuration(families.cycleDuration.Add(labels(), cycleBucketsSeconds))
    , m_connected(families.connected.Add(labels()))
{
    std::set<prometheus::Labels> seen;
    for (int id = 0; id < m_model->varCount(); ++id)
        m_ownsSeries.append(seen.insert(variableLabels(id)).second);
    // Counters start at 0, so that the first failure is an increase.
    for (int id = 0; id < m_model->varCount(); ++id) {
        prometheus::Labels named{{"device", m_device}, {"variable", utf8(variableLabel(m_model, id))}};
        m_readFailures.append(&families.readFailures.Add(named));
        m_writeFailures.append(&families.writeFailures.Add(named));
    }
    connect(session->readings(), &ReadingFeed::read, this, &DeviceMetrics::onRead);
    connect(session->readings(), &ReadingFeed::failed, this, &DeviceMetrics::onReadFailed);
    connect(m_model, &VelmorDeviceModel::writeFailed, this, &DeviceMetrics::onWriteFailed);
    connect(m_model, &VelmorDeviceModel::updateFinished, this, &DeviceMetrics::onCycleFinished);
    connect(session, &PollSession::linkChanged, this, &DeviceMetrics::onLinkChanged);
}

DeviceMetrics::~DeviceMetrics() = default;

void DeviceMetrics::onRead(const Reading &reading)
{
    const int id = reading.id;
    if (!ownsSeries(id))
        return;
    if (!m_values.at(id))
        m_values[id] = &m_families.value.Add(variableLabels(id));
    m_values.at(id)->Set(reading.number);
}

void DeviceMetrics::onReadFailed(const Reading &reading)
{
    const int id = reading.id;
    if (!knows(id))
        return;
    m_readFailures.at(id)->Increment();
    if (ownsSeries(id))
        dropValue(id);
}

void DeviceMetrics::onWriteFailed(int id)
{
    if (knows(id))
        m_writeFailures.at(id)->Increment();
}

void DeviceMetrics::onCycleFinished(int cycleTimeMs)
{
    m_cycles.Increment();
    m_cycleDuration.Observe(cycleTimeMs / 1000.0);
    if (!m_lastCycle)
        m_lastCycle = &m_families.lastCycle.Add(labels());
    m_lastCycle->SetToCurrentTime();
}

void DeviceMetrics::onLinkChanged(bool up)
{
    m_connected.Set(up ? 1 : 0);
    if (up)
        return;
    for (int id = 0; id < m_values.size(); ++id)
        dropValue(id);
}

void DeviceMetrics::dropValue(int id)
{
    if (!m_values.at(id))
        return;
    m_families.value.Remove(m_values.at(id));
    m_values[id] = nullptr;
}

prometheus::Labels DeviceMetrics::labels() const
{
    return {{"device", m_device}};
}

prometheus::Labels DeviceMetrics::variableLabels(int id) const
{
    return {{"device", m_device},
            {"variable", utf8(variableLabel(m_model, id))},
            {"address", utf8(m_model->getVarAttr(unsigned(id), QStringLiteral("addr")).toString())}};
}

bool DeviceMetrics::knows(int id) const
{
    return id >= 0 && id < m_values.size();
}

bool DeviceMetrics::ownsSeries(int id) const
{
    return knows(id) && m_ownsSeries.at(id);
}
