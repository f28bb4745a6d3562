#include "cyclerecorder.h"

#include "velmordevicemodel.h"

namespace {

const QString writeFailurePrefix = QStringLiteral("Writing variable ");
const QString flashFailure = QStringLiteral("Saving to FLASH failed");

bool endsCycle(const QString &text)
{
    return text == QLatin1String("Update stopped: request could not be sent")
        || text.startsWith(QLatin1String("Unable connect to "))
        || text.startsWith(QLatin1String("Unable open serial port "))
        || text.startsWith(QLatin1String("Connection lost: "));
}

// The model names a variable without "name" by its id, as #3.
QString variableLabel(const VelmorDeviceModel *model, int id)
{
    const QVariant name = model->getVarAttr(unsigned(id), QStringLiteral("name"));
    return name.isValid() ? name.toString() : QStringLiteral("#%1").arg(id);
}

} // namespace

CycleRecorder::CycleRecorder(VelmorDeviceModel *model, QObject *parent)
    : QObject(parent)
    , m_model(model)
{
    connect(model, &VelmorDeviceModel::updateViewport, this, &CycleRecorder::onValueStored);
    connect(model, &VelmorDeviceModel::errorOccured, this, &CycleRecorder::onError);
    connect(model, &VelmorDeviceModel::updateFinished, this, &CycleRecorder::onFinished);
}

int CycleRecorder::finishedCycles() const
{
    return m_finishedCycles;
}

void CycleRecorder::onValueStored()
{
    advance(false);
}

void CycleRecorder::onError(const QString &text)
{
    if (text == flashFailure) {
        emit flashFailed();
        return;
    }
    if (reportWriteFailure(text))
        return;
    if (endsCycle(text)) {
        resetCycle();
        emit cycleAbandoned(text);
        return;
    }
    advance(true);
}

void CycleRecorder::onFinished(int cycleTimeMs)
{
    const QVector<int> failedIds = m_failedIds;
    resetCycle();
    ++m_finishedCycles;
    emit cycleFinished(cycleTimeMs, failedIds);
}

void CycleRecorder::advance(bool failed)
{
    const int total = m_model->varCount();
    // A late reply of a stopped cycle has no place in the count.
    if (m_position >= total)
        return;
    if (failed)
        m_failedIds.append(m_position);
    ++m_position;
    emit progressed(m_position, total);
}

void CycleRecorder::resetCycle()
{
    m_position = 0;
    m_failedIds.clear();
}

bool CycleRecorder::reportWriteFailure(const QString &text)
{
    if (!text.startsWith(writeFailurePrefix))
        return false;
    // The reason may contain anything, so match the names the model can print.
    QString bestName;
    for (int id = 0; id < m_model->varCount(); ++id) {
        const QString name = variableLabel(m_model, id);
        if (text.startsWith(writeFailurePrefix + name + QLatin1String(" failed: ")) && name.size() > bestName.size())
            bestName = name;
    }
    if (bestName.isEmpty()) {
        emit writeFailed(QString(), text);
        return true;
    }
    const int reasonStart = writeFailurePrefix.size() + bestName.size() + int(qstrlen(" failed: "));
    emit writeFailed(bestName, text.mid(reasonStart));
    return true;
}
