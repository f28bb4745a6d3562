#ifndef DEVICERECORDING_H
#define DEVICERECORDING_H

#include "trendrecorder.h"

#include <QObject>
#include <QPointer>

class VelmorDeviceModel;

// Records every reading of one open device as a source of the recorder: a good read is a
// point at its read time, a failed read or a lost link a gap, the end of a cycle a cycle
// mark. The source closes, keeping its data, when the device or this recording goes.
class DeviceRecording : public QObject
{
    Q_OBJECT

public:
    DeviceRecording(VelmorDeviceModel *model, TrendRecorder *recorder, QObject *parent = nullptr);
    ~DeviceRecording() override;

    int source() const;

private:
    static QVector<TrendVariable> variablesOf(const VelmorDeviceModel &model);
    void recordRead(int id);
    void recordFailure(int id);
    void recordCycleEnd(int updateTimeMs);
    void recordLinkLoss();
    void closeSource();
    bool recording() const;

    QPointer<VelmorDeviceModel> m_model;
    QPointer<TrendRecorder> m_recorder;
    int m_source = -1;
    bool m_open = false;
};

#endif // DEVICERECORDING_H
