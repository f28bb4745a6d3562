#ifndef MQTTCONNECTION_H
#define MQTTCONNECTION_H

#include "retrytimer.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>

class QSocketNotifier;
struct mosquitto;
struct mosquitto_message;

// Where and how to reach the broker.
struct MqttSettings
{
    QString host;
    int port = 0;
    QString user;
    QByteArray password;
    // Empty for plain TCP.
    QString caFile;
};

// One client connection to an MQTT broker through libmosquitto, driven by the event
// loop of the thread it lives in. A failed or lost connection is tried again after
// 1 s, then after pauses that double up to 30 s; each attempt gets a client of its
// own, so nothing queued for a dead connection piles up.
class MqttConnection : public QObject
{
    Q_OBJECT

public:
    // The broker publishes the will (retained) when the connection ends without a goodbye.
    MqttConnection(const MqttSettings &settings, const QString &willTopic, const QByteArray &willPayload);
    ~MqttConnection() override;

    // Set payloads longer than this arrive cut to one byte more, so the receiver can refuse them.
    static const int maxIncomingPayloadBytes;

public slots:
    void open();
    // At QoS 1; dropped while not connected: whoever publishes sends what matters
    // again on connected().
    void publish(const QString &topic, const QByteArray &payload, bool retained);
    // Kept, and subscribed to again on every connect.
    void subscribe(const QString &pattern);
    // Publishes the goodbye (retained), disconnects and emits closed().
    void close(const QString &topic, const QByteArray &payload);

signals:
    void connected();
    // One attempt failed or the connection went away; the next attempt is scheduled.
    void failed(const QString &reason);
    void messageReceived(const QString &topic, const QByteArray &payload, bool retained);
    void closed();

private:
    enum class State {
        Waiting,
        Connecting,
        Connected,
        Closing,
        Closed
    };

    static void onConnect(mosquitto *client, void *self, int code);
    static void onDisconnect(mosquitto *client, void *self, int code);
    static void onMessage(mosquitto *client, void *self, const mosquitto_message *message);

    void attempt();
    bool createClient(QString *errorText);
    void destroyClient();
    void watchSocket();
    void serve();
    void watchWrites();
    void afterCallbacks();
    void fail(const QString &reason);
    void finishClose();
    static QString errorText(int code);
    static QString sentence(const QString &text);

    MqttSettings m_settings;
    QString m_willTopic;
    QByteArray m_willPayload;
    QStringList m_subscriptions;
    mosquitto *m_client = nullptr;
    State m_state = State::Waiting;
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
    // Keepalive pings and the check for a broker that stopped answering.
    QTimer m_serviceTimer;
    RetryTimer m_retry;
    QTimer m_giveUpTimer;
    // What the callbacks saw, handled once libmosquitto has returned.
    int m_connackCode = -1;
    bool m_disconnected = false;
};

#endif // MQTTCONNECTION_H
