#include "commandqueue.h"

#include "descriptionscalar.h"
#include "devicelink.h"
#include "variabletable.h"

#include <QDebug>

using Command = VelmorDeviceModel::Command;

CommandQueue::CommandQueue(VariableTable &variables, QObject *parent)
    : QObject(parent)
    , m_variables(variables)
{
}

void CommandQueue::enqueue(const Command &cmd)
{
    if (m_queue.contains(cmd))
        return;
    qDebug() << "Enqueue command" << cmd.type << cmd.varId;
    m_queue.enqueue(cmd);
}

bool CommandQueue::isEmpty() const
{
    return m_queue.isEmpty();
}

quint64 CommandQueue::sendNext(DeviceLink &link, int devId)
{
    const Command cmd = m_queue.dequeue();
    quint64 editSerial = 0;
    const quint64 request = cmd.type == Command::StoreVariable ? sendStoreVariable(link, cmd, devId, &editSerial)
                                                               : sendStoreConfiguration(link, devId);
    if (request)
        m_sent.insert(request, {cmd, editSerial});
    else if (editSerial)
        m_variables.settleEdit(cmd.varId, editSerial);
    return request;
}

quint64 CommandQueue::sendStoreVariable(DeviceLink &link, const Command &cmd, int devId, quint64 *editSerial)
{
    const YAML::Node entry = m_variables.variable(cmd.varId);
    if (!m_variables.hasValue(cmd.varId))
        return 0;
    qDebug().noquote() << "Processing store variable" << DescriptionScalar::scalarText(entry["name"]);
    VariableLink variable;
    quint32 written = 0;
    const bool linkable = m_variables.link(cmd.varId, &variable);
    if (!pattern(cmd.varId, variable.type, &written, editSerial) || !linkable) {
        emit writeFailed(cmd.varId, QStringLiteral("bad description"));
        return 0;
    }
    const quint64 request = link.write(variable, written, devId);
    if (!request)
        emit writeFailed(cmd.varId, QStringLiteral("request could not be sent"));
    return request;
}

bool CommandQueue::pattern(unsigned int varId, RegisterLayout::Type type, quint32 *pattern, quint64 *editSerial) const
{
    VariableTable::Edit edit;
    if (!m_variables.pendingEdit(varId, &edit))
        return m_variables.writePattern(varId, type, pattern);
    *pattern = edit.pattern;
    *editSerial = edit.serial;
    return true;
}

quint64 CommandQueue::sendStoreConfiguration(DeviceLink &link, int devId)
{
    qDebug("Processing store configuration to FLASH");
    if (!link.protocol().storesConfiguration)
        return 0;
    const quint64 request = link.storeConfiguration(devId);
    if (!request)
        emit flashFailed();
    return request;
}

void CommandQueue::settle(quint64 request, const QString &failure)
{
    if (!m_sent.contains(request))
        return;
    const Sent sent = m_sent.take(request);
    const Command &cmd = sent.cmd;
    if (sent.editSerial)
        m_variables.settleEdit(cmd.varId, sent.editSerial);
    if (!failure.isEmpty())
        qDebug().noquote() << "VELMOR::data update error:" << failure;
    if (cmd.type == Command::StoreConfiguration) {
        if (failure.isEmpty()) {
            qDebug("Configuration stored to FLASH");
            emit flashStored();
        } else {
            emit flashFailed();
        }
    } else if (!failure.isEmpty()) {
        emit writeFailed(cmd.varId, failure);
    }
}
