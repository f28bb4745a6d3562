#include "pollrun.h"

#include "exitcode.h"
#include "metricsexporter.h"
#include "mqttbridge.h"
#include "pollsession.h"

#include <cstdio>

PollRun::PollRun(const Options &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_exitCode(ExitAllGood)
{
}

// The metrics and the bridge watch the sessions' models: they go first.
PollRun::~PollRun()
{
    m_mqtt.reset();
    m_metrics.reset();
}

void PollRun::start()
{
    if (!prepareSessions() || !startMetrics() || !startMqtt())
        return finish(ExitUsage);
    m_running = m_sessions.size();
    for (PollSession *session : qAsConst(m_sessions)) {
        connect(session, &PollSession::done, this, &PollRun::onSessionDone);
        session->start();
    }
}

void PollRun::interrupt()
{
    if (m_finished || m_running == 0)
        return;
    if (m_options.severalDevices())
        note(QStringLiteral("stopped"));
    for (PollSession *session : qAsConst(m_sessions))
        session->interrupt();
}

bool PollRun::prepareSessions()
{
    for (const QString &file : qAsConst(m_options.descriptionFiles)) {
        auto *session = new PollSession(m_options, file, this);
        m_sessions.append(session);
        if (!session->prepare())
            return false;
    }
    return true;
}

bool PollRun::startMetrics()
{
    if (m_options.metricsHost.isEmpty())
        return true;
    m_metrics = std::make_unique<MetricsExporter>();
    for (PollSession *session : qAsConst(m_sessions))
        m_metrics->addDevice(session);
    QString errorText;
    if (m_metrics->start(m_options.metricsHost, m_options.metricsPort, &errorText))
        return true;
    note(errorText);
    return false;
}

bool PollRun::startMqtt()
{
    if (m_options.mqttHost.isEmpty())
        return true;
    m_mqtt = std::make_unique<MqttBridge>(m_options);
    for (PollSession *session : qAsConst(m_sessions))
        m_mqtt->addDevice(session);
    QString errorText;
    if (m_mqtt->start(&errorText))
        return true;
    note(errorText);
    return false;
}

void PollRun::onSessionDone(int exitCode)
{
    m_exitCode = qMax(m_exitCode, exitCode);
    if (--m_running == 0)
        finish(m_exitCode);
}

void PollRun::finish(int exitCode)
{
    if (m_finished)
        return;
    m_finished = true;
    if (!m_mqtt)
        return emit done(exitCode);
    // The devices say goodbye on the broker before the program ends.
    connect(m_mqtt.get(), &MqttBridge::stopped, this, [this, exitCode] { emit done(exitCode); });
    m_mqtt->stop();
}

void PollRun::note(const QString &text)
{
    std::fputs(qPrintable(QStringLiteral("velmor-cli: %1\n").arg(text)), stderr);
    std::fflush(stderr);
}
