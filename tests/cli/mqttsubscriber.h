#ifndef MQTTSUBSCRIBER_H
#define MQTTSUBSCRIBER_H

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVector>

// mosquitto_sub subscribed to a pattern at a local broker, its messages gathered.
class MqttSubscriber
{
public:
    struct Message {
        QString topic;
        QString payload;
        // Sent because it was retained, not because it was just published.
        bool retained;
    };

    // More mosquitto_sub arguments come last, as -u USER -P PASSWORD.
    MqttSubscriber(int port, const QString &pattern, const QStringList &moreArguments = QStringList());
    ~MqttSubscriber();

    QVector<Message> messages();
    // The payloads that came on topic, in order.
    QStringList payloads(const QString &topic);
    // The last payload on topic; a null string when none came.
    QString last(const QString &topic);

    // Publishes with mosquitto_pub, the payload byte for byte (NULs too); true when it was sent.
    static bool publish(int port, const QString &topic, const QByteArray &payload, bool retained = false);

private:
    void gather();

    QProcess m_process;
    QByteArray m_pending;
    QVector<Message> m_messages;
};

#endif // MQTTSUBSCRIBER_H
