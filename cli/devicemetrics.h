#ifndef DEVICEMETRICS_H
#define DEVICEMETRICS_H

#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>

#include <QObject>
#include <QVector>

#include <string>

class PollSession;
struct Reading;
class VelmorDeviceModel;

// The series every device adds its own labels to.
struct MetricFamilies
{
    prometheus::Family<prometheus::Gauge> &value;
    prometheus::Family<prometheus::Counter> &readFailures;
    prometheus::Family<prometheus::Counter> &writeFailures;
    prometheus::Family<prometheus::Counter> &cycles;
    prometheus::Family<prometheus::Histogram> &cycleDuration;
    prometheus::Family<prometheus::Gauge> &connected;
    prometheus::Family<prometheus::Gauge> &lastCycle;
};

// One device's series, kept up to date from its model's progress signals. A value
// is exposed only while its last read succeeded and the link is up: a value shown
// after the controller stopped answering would look current.
class DeviceMetrics : public QObject
{
    Q_OBJECT

public:
    DeviceMetrics(MetricFamilies &families, PollSession *session, QObject *parent = nullptr);
    ~DeviceMetrics() override;

private:
    void onRead(const Reading &reading);
    void onReadFailed(const Reading &reading);
    void onWriteFailed(int id);
    void onCycleFinished(int cycleTimeMs);
    void onLinkChanged(bool up);
    void dropValue(int id);
    prometheus::Labels labels() const;
    prometheus::Labels variableLabels(int id) const;
    bool knows(int id) const;
    bool ownsSeries(int id) const;

    MetricFamilies &m_families;
    VelmorDeviceModel *m_model;
    std::string m_device;
    // Null where the variable has no sample.
    QVector<prometheus::Gauge *> m_values;
    // False for a variable of the same name and address as an earlier one: that one
    // has the series, which one sample cannot share.
    QVector<bool> m_ownsSeries;
    QVector<prometheus::Counter *> m_readFailures;
    QVector<prometheus::Counter *> m_writeFailures;
    prometheus::Counter &m_cycles;
    prometheus::Histogram &m_cycleDuration;
    prometheus::Gauge &m_connected;
    // Null until the first cycle has finished.
    prometheus::Gauge *m_lastCycle = nullptr;
};

#endif // DEVICEMETRICS_H
