#include "progresslog.h"

#include "velmordevicemodel.h"

ProgressLog::ProgressLog(VelmorDeviceModel *model)
{
    connect(model, &VelmorDeviceModel::variableRead, this,
            [this](int id) { m_lines.append(QStringLiteral("read %1").arg(id)); });
    connect(model, &VelmorDeviceModel::variableFailed, this, [this](int id, const QString &reason) {
        m_lines.append(QStringLiteral("failed %1: %2").arg(id).arg(reason));
    });
    connect(model, &VelmorDeviceModel::writeFailed, this, [this](int id, const QString &reason) {
        m_lines.append(QStringLiteral("write failed %1: %2").arg(id).arg(reason));
    });
    connect(model, &VelmorDeviceModel::storeToFlashFailed, this,
            [this] { m_lines.append(QStringLiteral("flash failed")); });
    connect(model, &VelmorDeviceModel::cycleAbandoned, this,
            [this](const QString &reason) { m_lines.append(QStringLiteral("abandoned: ") + reason); });
    connect(model, &VelmorDeviceModel::connectionLost, this,
            [this](const QString &reason) { m_lines.append(QStringLiteral("lost: ") + reason); });
}

QStringList ProgressLog::lines() const
{
    return m_lines;
}
