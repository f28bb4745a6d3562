#ifndef CYCLERECORDER_H
#define CYCLERECORDER_H

#include <QObject>
#include <QString>
#include <QVector>

class VelmorDeviceModel;

// Follows a model's update cycles through its progress signals and tells which
// variables failed in each. Write and flash failures come from the command queue,
// which runs between reads.
class CycleRecorder : public QObject
{
    Q_OBJECT

public:
    explicit CycleRecorder(VelmorDeviceModel *model, QObject *parent = nullptr);

    int finishedCycles() const;
    // The link had been open and went away.
    bool linkLost() const;

signals:
    // After each variable of the cycle under way, read or failed; done counts from 1.
    void progressed(int done, int total);
    void cycleFinished(int cycleTimeMs, const QVector<int> &failedIds);
    // The cycle ended without updateFinished, or the link was lost between cycles.
    void cycleAbandoned(const QString &reason);
    void writeFailed(int id, const QString &reason);
    void flashFailed();

private:
    void onVariableDone(int id, bool failed);
    void onFinished(int cycleTimeMs);
    void onLinkLost(const QString &reason);
    void resetCycle();

    VelmorDeviceModel *m_model;
    int m_done = 0;
    int m_finishedCycles = 0;
    bool m_linkLost = false;
    QVector<int> m_failedIds;
};

#endif // CYCLERECORDER_H
