#ifndef COMMANDQUEUE_H
#define COMMANDQUEUE_H

#include "velmordevicemodel.h"

#include <QHash>
#include <QObject>
#include <QQueue>

class DeviceLink;
class VariableTable;

// The model's queued writes: at most one per distinct command, sent one at a time with
// the value held when it goes out; their outcomes come back as signals.
class CommandQueue : public QObject
{
    Q_OBJECT

public:
    explicit CommandQueue(const VariableTable &variables, QObject *parent = nullptr);

    void enqueue(const VelmorDeviceModel::Command &cmd);
    bool isEmpty() const;
    // Sends the command at the head; the id of its request, or 0 when nothing went out.
    quint64 sendNext(DeviceLink &link, int devId);
    // Reports the outcome of a request sent by sendNext().
    void settle(quint64 request, const QString &failure);

signals:
    // The reason is the %2 of "Writing variable %1 failed: %2".
    void writeFailed(unsigned int varId, const QString &reason);
    void flashStored();
    void flashFailed();

private:
    quint64 sendStoreVariable(DeviceLink &link, const VelmorDeviceModel::Command &cmd, int devId);
    quint64 sendStoreConfiguration(DeviceLink &link, int devId);

    const VariableTable &m_variables;
    QQueue<VelmorDeviceModel::Command> m_queue;
    QHash<quint64, VelmorDeviceModel::Command> m_sent;
};

#endif // COMMANDQUEUE_H
