#ifndef COMMANDQUEUE_H
#define COMMANDQUEUE_H

#include "registerlayout.h"
#include "velmordevicemodel.h"

#include <QHash>
#include <QObject>
#include <QQueue>

class DeviceLink;
class VariableTable;

// The model's queued writes: at most one per distinct command, sent one at a time with
// the engineer's latest edit (or, without one, the value held) when it goes out; their
// outcomes come back as signals.
class CommandQueue : public QObject
{
    Q_OBJECT

public:
    explicit CommandQueue(VariableTable &variables, QObject *parent = nullptr);

    void enqueue(const VelmorDeviceModel::Command &cmd);
    bool isEmpty() const;
    // Sends the command at the head; the id of its request, or 0 when nothing went out.
    quint64 sendNext(DeviceLink &link, int devId);
    // Reports the outcome of a request sent by sendNext(); any other request is ignored.
    void settle(quint64 request, const QString &failure);

signals:
    // The reason is the %2 of "Writing variable %1 failed: %2".
    void writeFailed(unsigned int varId, const QString &reason);
    void flashStored();
    void flashFailed();

private:
    struct Sent {
        VelmorDeviceModel::Command cmd;
        // The edit a StoreVariable sent; 0 when it sent the value held.
        quint64 editSerial;
    };

    quint64 sendStoreVariable(DeviceLink &link, const VelmorDeviceModel::Command &cmd, int devId,
                              quint64 *editSerial);
    quint64 sendStoreConfiguration(DeviceLink &link, int devId);
    bool pattern(unsigned int varId, RegisterLayout::Type type, quint32 *pattern, quint64 *editSerial) const;

    VariableTable &m_variables;
    QQueue<VelmorDeviceModel::Command> m_queue;
    QHash<quint64, Sent> m_sent;
};

#endif // COMMANDQUEUE_H
