#include "velmordevicemodel_p.h"

#include "devicelink.h"
#include "modbuslink.h"
#include "velmorbuslink.h"
#include "velmordevicemodel.h"

#include <QMetaMethod>
#include <QTimer>

VelmorDeviceModelPrivate::VelmorDeviceModelPrivate(VelmorDeviceModel *model)
    : q(model)
    , commands(variables)
{
}

bool VelmorDeviceModelPrivate::createLink(const ProtocolTraits *protocol)
{
    if (!protocol->supported) {
        qCritical("%s", qPrintable(QStringLiteral("(VelmorDeviceModel) %1 proto not suported yet").arg(QLatin1String(protocol->name))));
        return false;
    }
    if (protocol->modbus)
        link = new ModbusLink(*protocol, q);
    else
        link = new VelmorbusLink(*protocol, q);
    QObject::connect(link, &DeviceLink::readFinished, q, &VelmorDeviceModel::varUpdated);
    QObject::connect(link, &DeviceLink::blockReadFinished, q,
                     [this](quint64 request, const QVector<quint32> &rawWords, const QString &failure, bool refused) {
                         onBlockReadFinished(request, rawWords, failure, refused);
                     });
    QObject::connect(link, &DeviceLink::commandFinished, q,
                     [this](quint64 request, const QString &failure) { onCommandFinished(request, failure); });
    QObject::connect(link, &DeviceLink::refused, q, [this] { onRefused(); });
    QObject::connect(link, &DeviceLink::lost, q, [this](const QString &reason) { onLinkLost(reason); });
    QObject::connect(link, &DeviceLink::frameTraced, q,
                     [this](bool sent, const QByteArray &bytes) { relayTrace(sent, bytes); });
    QObject::connect(&commands, &CommandQueue::writeFailed, q, [this](unsigned int varId, const QString &reason) {
        emit q->errorOccured(QStringLiteral("Writing variable %1 failed: %2").arg(variables.label(varId), reason));
        emit q->writeFailed(int(varId), reason);
    });
    QObject::connect(&commands, &CommandQueue::flashStored, q, &VelmorDeviceModel::storeToFlashComplete);
    QObject::connect(&commands, &CommandQueue::flashFailed, q, [this] {
        emit q->errorOccured(QStringLiteral("Saving to FLASH failed"));
        emit q->storeToFlashFailed();
    });
    return true;
}

bool VelmorDeviceModelPrivate::setTuning(int *setting, int value, int minimum, int maximum, const char *key)
{
    if (value < minimum || value > maximum) {
        qWarning("%s", qPrintable(QStringLiteral("(VelmorDeviceModel) Bad value of %1 setting: %2")
                                      .arg(QLatin1String(key)).arg(value)));
        return false;
    }
    if (*setting == value)
        return false;
    *setting = value;
    return true;
}

void VelmorDeviceModelPrivate::relayTrace(bool sent, const QByteArray &bytes)
{
    // The link keeps tracing once asked; no time is taken for a trace no one reads any more.
    if (!q->isSignalConnected(QMetaMethod::fromSignal(&VelmorDeviceModel::frameTraced)))
        return;
    emit q->frameTraced(QDateTime::currentDateTime(), sent ? VelmorDeviceModel::Sent : VelmorDeviceModel::Received,
                        bytes);
}

void VelmorDeviceModelPrivate::onRefused()
{
    if (!q->m_connected)
        return;
    q->m_connected = false;
    const QString failure = link->openFailure();
    emit q->errorOccured(failure);
    emit q->connectFailed(link->openFailureReason());
    // A cycle waiting for the connection ends here, even one with no variable to read.
    if (waitingForLink && linkWaitGeneration == cycleGeneration) {
        waitingForLink = false;
        abandonCycle(failure);
    }
}

void VelmorDeviceModelPrivate::onLinkLost(const QString &reason)
{
    if (!q->m_connected)
        return;
    const QString text = QStringLiteral("Connection lost: %1").arg(reason);
    emit q->errorOccured(text);
    emit q->connectionLost(text);
    // The request in flight fails with the line; that is the loss just reported. A write
    // in flight failed with it, and its edit must not hold back the reads to come.
    link->dropPendingRequest();
    commands.settle(pendingRequest, reason);
    pendingRequest = 0;
    stopCycle(text);
    q->disconnectDevice();
}

bool VelmorDeviceModelPrivate::cycleRunning() const
{
    return cyclePosition < variables.count();
}

void VelmorDeviceModelPrivate::stopCycle(const QString &reason)
{
    if (cycleRunning())
        abandonCycle(reason);
}

void VelmorDeviceModelPrivate::abandonCycle(const QString &reason)
{
    cyclePosition = variables.count();
    cycleEnded();
    emit q->cycleAbandoned(reason);
}

void VelmorDeviceModelPrivate::cycleEnded()
{
    qualities.cycleEnded(cycleGeneration);
    valuesChanged(0, variables.count() - 1);
}

void VelmorDeviceModelPrivate::linkDown()
{
    qualities.linkDown(cycleGeneration);
    valuesChanged(0, variables.count() - 1);
}

QString VelmorDeviceModelPrivate::toolTip(unsigned int id) const
{
    QStringList lines;
    const QString description = variables.attribute(id, QStringLiteral("desc")).toString();
    if (!description.isEmpty())
        lines << description;
    const QDateTime lastRead = qualities.lastRead(int(id));
    if (lastRead.isValid())
        lines << QStringLiteral("Прочитано: %1").arg(lastRead.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    else
        lines << QStringLiteral("С устройства не читалось");
    const VelmorDeviceModel::ValueQuality quality = qualities.quality(int(id));
    if (quality == VelmorDeviceModel::QualityStale)
        lines << QStringLiteral("Не обновлялось последним циклом");
    if (quality == VelmorDeviceModel::QualityFailed)
        lines << QStringLiteral("Ошибка чтения: %1").arg(qualities.lastFailure(int(id)));
    return lines.join(QLatin1Char('\n'));
}

void VelmorDeviceModelPrivate::valuesChanged(int first, int last)
{
    if (first <= last)
        emit q->dataChanged(q->index(first, ValueColumn), q->index(last, ValueColumn));
}

void VelmorDeviceModelPrivate::scheduleNextStep(int delayMs)
{
    const quint64 generation = cycleGeneration;
    QTimer::singleShot(delayMs, Qt::PreciseTimer, q, [this, generation] {
        if (generation == cycleGeneration)
            q->processNextVariable();
    });
}

void VelmorDeviceModelPrivate::waitForLink()
{
    if (waitingForLink && linkWaitGeneration == cycleGeneration)
        return;
    waitingForLink = true;
    linkWaitGeneration = cycleGeneration;
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(link, &DeviceLink::ready, q, [this, connection] {
        QObject::disconnect(*connection);
        const bool current = waitingForLink && linkWaitGeneration == cycleGeneration;
        waitingForLink = false;
        if (current)
            q->processNextVariable();
    });
}

void VelmorDeviceModelPrivate::queryCurrentVariable()
{
    const unsigned int id = unsigned(cyclePosition);
    const QVector<VariableLink> block = plan.blockFrom(variables, cyclePosition);
    if (block.isEmpty()) {
        failCurrentVariable(QStringLiteral("Unable to read variable %1: bad description").arg(variables.label(id)),
                            q->m_interQueryDelay);
        return;
    }
    pendingBlockRows = block.size();
    pendingRequest = block.size() > 1 ? link->readBlock(block, q->m_devId) : link->read(block.first(), q->m_devId);
    if (!pendingRequest) {
        qCritical("%s", "MODBUS::reply is nullptr");
        const QString failure = QStringLiteral("Update stopped: request could not be sent");
        emit q->errorOccured(failure);
        stopCycle(failure);
    }
}

void VelmorDeviceModelPrivate::onBlockReadFinished(quint64 request, const QVector<quint32> &rawWords,
                                                   const QString &failure, bool refused)
{
    const bool current = request == pendingRequest;
    if (current)
        pendingRequest = 0;
    if (!current || !cycleRunning()) {
        if (!failure.isEmpty())
            emit q->errorOccured(failure);
        return;
    }
    if (refused) {
        // One register no variable uses may refuse the whole read: the same rows are read
        // again one at a time, so that only a variable that is refused itself fails.
        plan = ReadPlan();
        scheduleNextStep(q->m_interQueryDelay);
        return;
    }
    if (failure.isEmpty())
        storeBlock(rawWords);
    else
        failBlock(failure);
}

void VelmorDeviceModelPrivate::storeBlock(const QVector<quint32> &rawWords)
{
    const int first = cyclePosition;
    for (int i = 0; i < rawWords.size(); ++i) {
        // A slot may stop the cycle; what follows then is not stored, as for a late reply.
        if (!cycleRunning())
            return;
        cyclePosition = first + i;
        storeReadValue(rawWords.at(i));
    }
    q->invokeNextProcess(q->m_interQueryDelay);
}

void VelmorDeviceModelPrivate::storeReadValue(quint32 rawWord)
{
    const unsigned int id = unsigned(cyclePosition);
    const VariableTable::ReadOutcome outcome = variables.storeRawWord(id, rawWord);
    if (outcome == VariableTable::ReadOutcome::Stored)
        qualities.noteRead(int(id), cycleGeneration, QDateTime::currentDateTime());
    valuesChanged(int(id), int(id));
    emit q->updateViewport();
    // Only a value the device sent counts as a reading: not the engineer's edit waiting for
    // its write, nor what the file said of a "type" the model does not know.
    if (outcome == VariableTable::ReadOutcome::Stored)
        emit q->variableRead(int(id));
    else if (outcome == VariableTable::ReadOutcome::UnknownType)
        emit q->variableFailed(int(id), QStringLiteral("type %1 is not known")
                                            .arg(variables.attribute(id, QStringLiteral("type")).toString()));
}

void VelmorDeviceModelPrivate::failBlock(const QString &reason)
{
    emit q->errorOccured(reason);
    const int first = cyclePosition;
    for (int i = 0; i < pendingBlockRows; ++i) {
        if (!cycleRunning())
            return;
        cyclePosition = first + i;
        qualities.noteFailure(cyclePosition, reason);
        valuesChanged(cyclePosition, cyclePosition);
        emit q->variableFailed(cyclePosition, reason);
    }
    q->invokeNextProcess(link->pauseAfterFailure(q->m_interQueryDelay));
}

void VelmorDeviceModelPrivate::failCurrentVariable(const QString &reason, int delayMs)
{
    emit q->errorOccured(reason);
    qualities.noteFailure(cyclePosition, reason);
    valuesChanged(cyclePosition, cyclePosition);
    emit q->variableFailed(cyclePosition, reason);
    q->invokeNextProcess(delayMs);
}

void VelmorDeviceModelPrivate::onCommandFinished(quint64 request, const QString &failure)
{
    const bool current = request == pendingRequest;
    if (current)
        pendingRequest = 0;
    commands.settle(request, failure);
    // A completion of a replaced cycle must not start a second chain of steps.
    if (current)
        scheduleNextStep(failure.isEmpty() ? 0 : link->pauseAfterFailure(0));
}
