#ifndef POLLRUN_H
#define POLLRUN_H

#include "options.h"

#include <QObject>
#include <QVector>

#include <memory>

class MetricsExporter;
class MqttBridge;
class PollSession;

// One run of velmor-cli: a poll session for each description file, side by side in
// the one event loop, and the metrics and broker bridge they feed. Ends once every
// session has, with the highest of their exit codes.
class PollRun : public QObject
{
    Q_OBJECT

public:
    explicit PollRun(const Options &options, QObject *parent = nullptr);
    ~PollRun() override;

public slots:
    void start();
    // Ends every session at once, as after its last cycle.
    void interrupt();

signals:
    void done(int exitCode);

private:
    bool prepareSessions();
    bool startMetrics();
    bool startMqtt();
    void onSessionDone(int exitCode);
    void finish(int exitCode);
    void note(const QString &text);

    Options m_options;
    QVector<PollSession *> m_sessions;
    std::unique_ptr<MetricsExporter> m_metrics;
    std::unique_ptr<MqttBridge> m_mqtt;
    int m_running = 0;
    int m_exitCode = 0;
    bool m_finished = false;
};

#endif // POLLRUN_H
