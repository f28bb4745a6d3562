#include "cyclerecorder.h"

#include "velmordevicemodel.h"

CycleRecorder::CycleRecorder(VelmorDeviceModel *model, QObject *parent)
    : QObject(parent)
    , m_model(model)
{
    connect(model, &VelmorDeviceModel::variableRead, this, [this](int id) { onVariableDone(id, false); });
    connect(model, &VelmorDeviceModel::variableFailed, this, [this](int id) { onVariableDone(id, true); });
    connect(model, &VelmorDeviceModel::updateFinished, this, &CycleRecorder::onFinished);
    connect(model, &VelmorDeviceModel::connectionLost, this, &CycleRecorder::onLinkLost);
    connect(model, &VelmorDeviceModel::cycleAbandoned, this, [this](const QString &reason) {
        // A lost link has been reported as such already.
        if (m_linkLost)
            return;
        resetCycle();
        emit cycleAbandoned(reason);
    });
    connect(model, &VelmorDeviceModel::writeFailed, this, &CycleRecorder::writeFailed);
    connect(model, &VelmorDeviceModel::storeToFlashFailed, this, &CycleRecorder::flashFailed);
}

int CycleRecorder::finishedCycles() const
{
    return m_finishedCycles;
}

bool CycleRecorder::linkLost() const
{
    return m_linkLost;
}

void CycleRecorder::onVariableDone(int id, bool failed)
{
    if (failed)
        m_failedIds.append(id);
    ++m_done;
    emit progressed(m_done, m_model->varCount());
}

void CycleRecorder::onFinished(int cycleTimeMs)
{
    const QVector<int> failedIds = m_failedIds;
    resetCycle();
    ++m_finishedCycles;
    emit cycleFinished(cycleTimeMs, failedIds);
}

void CycleRecorder::onLinkLost(const QString &reason)
{
    m_linkLost = true;
    resetCycle();
    emit cycleAbandoned(reason);
}

void CycleRecorder::resetCycle()
{
    m_done = 0;
    m_failedIds.clear();
}
