#ifndef CYCLERECORDER_H
#define CYCLERECORDER_H

#include <QObject>
#include <QString>
#include <QVector>

class VelmorDeviceModel;

// Follows a model's update cycles from its signals alone and tells which variables
// failed in each. A cycle reads the variables in order; every stored value emits
// updateViewport and every failed read an error instead, so counting both gives the
// variable in hand. Write and flash failures come from the command queue, which runs
// between reads, and do not move the count.
class CycleRecorder : public QObject
{
    Q_OBJECT

public:
    explicit CycleRecorder(VelmorDeviceModel *model, QObject *parent = nullptr);

    int finishedCycles() const;

signals:
    // After each variable of the cycle under way, read or failed; done counts from 1.
    void progressed(int done, int total);
    void cycleFinished(int cycleTimeMs, const QVector<int> &failedIds);
    // The cycle ended without updateFinished: the link is gone or a request could not be sent.
    void cycleAbandoned(const QString &reason);
    void writeFailed(const QString &name, const QString &reason);
    void flashFailed();

private:
    void onValueStored();
    void onError(const QString &text);
    void onFinished(int cycleTimeMs);
    void advance(bool failed);
    void resetCycle();
    bool reportWriteFailure(const QString &text);

    VelmorDeviceModel *m_model;
    int m_position = 0;
    int m_finishedCycles = 0;
    QVector<int> m_failedIds;
};

#endif // CYCLERECORDER_H
