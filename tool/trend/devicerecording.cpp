#include "devicerecording.h"

#include "velmordevicemodel.h"

#include <QDateTime>

namespace {

// The largest value a 16-bit bit field can hold; wider ranges come from 32 bits.
constexpr double maxOf16Bits = 65535;

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

DeviceRecording::DeviceRecording(VelmorDeviceModel *model, TrendRecorder *recorder, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_recorder(recorder)
{
    m_source = recorder->addSource(model->devName(), variablesOf(*model));
    m_open = true;
    connect(model, &VelmorDeviceModel::variableRead, this, &DeviceRecording::recordRead);
    connect(model, &VelmorDeviceModel::variableFailed, this, &DeviceRecording::recordFailure);
    connect(model, &VelmorDeviceModel::updateFinished, this, &DeviceRecording::recordCycleEnd);
    connect(model, &VelmorDeviceModel::cycleAbandoned, this, &DeviceRecording::recordLinkLoss);
    connect(model, &VelmorDeviceModel::connectionLost, this, &DeviceRecording::recordLinkLoss);
    connect(model, &QObject::destroyed, this, &DeviceRecording::closeSource);
}

DeviceRecording::~DeviceRecording()
{
    closeSource();
}

int DeviceRecording::source() const
{
    return m_source;
}

QVector<TrendVariable> DeviceRecording::variablesOf(const VelmorDeviceModel &model)
{
    QVector<TrendVariable> variables;
    for (unsigned id = 0; id < unsigned(model.varCount()); ++id) {
        TrendVariable variable;
        variable.name = model.getVarAttr(id, QStringLiteral("name")).toString();
        variable.bitfield = model.isVarBitfield(id);
        // The value range tells the width of the type as the model reads it.
        variable.bits = model.varValueRange(id).second > maxOf16Bits ? 32 : 16;
        variables.append(variable);
    }
    return variables;
}

void DeviceRecording::recordRead(int id)
{
    if (!recording())
        return;
    const QDateTime readTime = m_model->varLastReadTime(unsigned(id));
    const qint64 timeMs = readTime.isValid() ? readTime.toMSecsSinceEpoch() : nowMs();
    m_recorder->append(m_source, id, timeMs, m_model->varNumber(unsigned(id)));
}

void DeviceRecording::recordFailure(int id)
{
    if (recording())
        m_recorder->appendGap(m_source, id, nowMs());
}

void DeviceRecording::recordCycleEnd(int updateTimeMs)
{
    if (recording())
        m_recorder->endCycle(m_source, nowMs(), updateTimeMs);
}

// The readings stop here: a line drawn across the outage would show values never read.
void DeviceRecording::recordLinkLoss()
{
    if (!recording())
        return;
    const qint64 timeMs = nowMs();
    for (int id = 0; id < m_recorder->variables(m_source).size(); ++id)
        m_recorder->appendGap(m_source, id, timeMs);
}

void DeviceRecording::closeSource()
{
    if (m_open && m_recorder)
        m_recorder->closeSource(m_source);
    m_open = false;
}

bool DeviceRecording::recording() const
{
    return m_open && m_model && m_recorder;
}
