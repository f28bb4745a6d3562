#ifndef MQTTDEVICE_H
#define MQTTDEVICE_H

#include "topicnames.h"
#include "variablewrite.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QVector>

class PollSession;
class ReadingFeed;
struct Reading;
class VelmorDeviceModel;

// One device on the broker: its status, its values as they change, and the writes
// asked for on its set topics, each answered once the value has been read back.
class MqttDevice : public QObject
{
    Q_OBJECT

public:
    MqttDevice(const QString &prefix, PollSession *session, QObject *parent = nullptr);

    QString statusTopic() const;
    // The topics whose messages onMessage() takes.
    QString setTopicPattern() const;
    static QByteArray offline();

public slots:
    // Publishes the status and every value known, which a restarted broker may have lost.
    void onBrokerConnected();
    void onBrokerLost();
    void onMessage(const QString &topic, const QByteArray &payload, bool retained);

signals:
    void publishRequested(const QString &topic, const QByteArray &payload, bool retained);

private:
    void onRead(const Reading &reading);
    void onReadFailed(const Reading &reading, const QString &reason);
    void onWriteFailed(int id, const QString &reason);
    void onLinkChanged(bool up);
    void publishStatus();
    void publishValue(const Reading &reading);
    // What is wrong with the set itself; empty when nothing is.
    QString refusal(int id, const QByteArray &payload, bool retained) const;
    // What keeps a good set from being written now; empty when nothing does.
    QString hindrance(int id) const;
    void apply(const VariableWrite &write);
    void settle(const Reading &reading, const QString &readFailure);
    void answer(int id, const QString &result);
    QString variableTopic(int id) const;

    VelmorDeviceModel *m_model;
    const ReadingFeed *m_readings;
    QString m_deviceTopic;
    TopicNames m_names;
    bool m_brokerUp = false;
    bool m_linkUp = false;
    // The value texts last published, by variable; empty when none or lost with the broker.
    QVector<QString> m_published;
    // Read at least once, so that the value the model holds came from the controller.
    QVector<bool> m_read;
    // Handed to the model, waiting for the read back.
    QHash<int, VariableWrite> m_pending;
};

#endif // MQTTDEVICE_H
