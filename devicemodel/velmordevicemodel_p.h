#ifndef VELMORDEVICEMODEL_P_H
#define VELMORDEVICEMODEL_P_H

#include "commandqueue.h"
#include "descriptionfile.h"
#include "readplan.h"
#include "valuequalities.h"
#include "variabletable.h"

#include <QString>

class DeviceLink;
class VelmorDeviceModel;

class VelmorDeviceModelPrivate
{
public:
    enum Column {
        AddrColumn = 0,
        NameColumn = 1,
        ValueColumn = 2,
        DescColumn = 3
    };

    explicit VelmorDeviceModelPrivate(VelmorDeviceModel *model);

    bool createLink(const ProtocolTraits *protocol);
    // Takes value when it lies in [minimum, maximum], and logs when not; true when it changed.
    bool setTuning(int *setting, int value, int minimum, int maximum, const char *key);
    void relayTrace(bool sent, const QByteArray &bytes);
    bool cycleRunning() const;
    // Stops a running cycle without updateFinished; nothing happens when none runs.
    void stopCycle(const QString &reason);
    void abandonCycle(const QString &reason);
    // A cycle ended or the link went away: values it did not read are no longer current.
    void cycleEnded();
    void linkDown();
    // The description, the time of the last good read and the last failure, for people.
    QString toolTip(unsigned int id) const;
    // The value cells of the rows from first to last changed, or their quality did.
    void valuesChanged(int first, int last);
    void scheduleNextStep(int delayMs);
    // Goes on with the cycle once the connection under way is accepted.
    void waitForLink();
    void queryCurrentVariable();
    // A read failed, was refused or answered another request; the cycle goes on after delayMs.
    void failCurrentVariable(const QString &reason, int delayMs);
    void onBlockReadFinished(quint64 request, const QVector<quint32> &rawWords, const QString &failure, bool refused);
    // Stores the words of a block read from the current row on and moves past them.
    void storeBlock(const QVector<quint32> &rawWords);
    // Stores the value read for the variable at the cycle position and says so.
    void storeReadValue(quint32 rawWord);
    void failBlock(const QString &reason);
    void onCommandFinished(quint64 request, const QString &failure);
    void onRefused();
    void onLinkLost(const QString &reason);

    VelmorDeviceModel *q;
    // The parsed description, held for the model's life.
    DescriptionFile file;
    // Its "variables": the variable table and the store of current values.
    VariableTable variables;
    // Null for a description that names no usable protocol.
    DeviceLink *link = nullptr;
    // The file's block, gap, timeout, retries, word order and framing, or what a program set instead.
    LinkSettings tuning;
    // Set from the tuning when the link opens; reads one variable at a time once the
    // device refused a block read with an exception.
    ReadPlan plan;
    // Rows the outstanding block read covers, from cyclePosition on.
    int pendingBlockRows = 0;
    ValueQualities qualities;
    CommandQueue commands;
    // Row of the variable whose request is outstanding or due next; variables.count() means no cycle runs.
    int cyclePosition = 0;
    // Bumped at every cycle start; timers and replies of an older cycle are ignored.
    quint64 cycleGeneration = 0;
    // The one request (read or command) the running cycle waits for; 0 for none.
    quint64 pendingRequest = 0;
    // The cycle waits for the connection under way; the generation it belongs to.
    bool waitingForLink = false;
    quint64 linkWaitGeneration = 0;
};

#endif // VELMORDEVICEMODEL_P_H
