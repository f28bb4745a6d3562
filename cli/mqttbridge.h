#ifndef MQTTBRIDGE_H
#define MQTTBRIDGE_H

#include "mqttconnection.h"
#include "options.h"

#include <QObject>
#include <QSet>
#include <QTextStream>
#include <QTimer>
#include <QVector>

class MqttDevice;
class PollSession;
class QThread;

// The devices of a run on an MQTT broker: one connection each, so that each has its
// own last will, all served by one thread of their own, where a slow name lookup or
// connect holds up no polling. Says once per outage that the broker is unreachable.
class MqttBridge : public QObject
{
    Q_OBJECT

public:
    explicit MqttBridge(const Options &options, QObject *parent = nullptr);
    ~MqttBridge() override;

    // The session must have loaded its model, and outlive the bridge.
    void addDevice(PollSession *session);
    // Checks what can be checked before connecting (the host resolves, the password and
    // CA files can be read) and connects; false with the reason when a check fails.
    bool start(QString *errorText);
    // Says goodbye for every device and disconnects; emits stopped() when done.
    void stop();

signals:
    void stopped();

private:
    bool readSettings(QString *errorText);
    void onConnected(MqttConnection *connection);
    void onFailed(MqttConnection *connection, const QString &reason);
    void onClosed();
    void endThread();
    QString brokerName() const;
    void note(const QString &text);

    Options m_options;
    MqttSettings m_settings;
    QVector<MqttDevice *> m_devices;
    QVector<MqttConnection *> m_connections;
    QSet<MqttConnection *> m_connected;
    QThread *m_thread;
    QTextStream m_err;
    QTimer m_stopTimer;
    bool m_outage = false;
    int m_open = 0;
    bool m_stopping = false;
    bool m_stopped = false;
};

#endif // MQTTBRIDGE_H
