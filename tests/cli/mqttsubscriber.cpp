#include "mqttsubscriber.h"

namespace {

constexpr int ProcessTimeoutMs = 15000;
// Lines that carry a message start with this; the debug lines of -d do not.
const QByteArray messageMark = "MSG ";

} // namespace

MqttSubscriber::MqttSubscriber(int port, const QString &pattern)
{
    m_process.start(QStringLiteral("mosquitto_sub"),
                    {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(port),
                     QStringLiteral("-q"), QStringLiteral("1"), QStringLiteral("-d"), QStringLiteral("-t"), pattern,
                     QStringLiteral("-F"), QString::fromLatin1(messageMark) + QStringLiteral("%r %t %p")});
}

MqttSubscriber::~MqttSubscriber()
{
    m_process.kill();
    m_process.waitForFinished(ProcessTimeoutMs);
}

bool MqttSubscriber::subscribed()
{
    gather();
    return m_subscribed;
}

QVector<MqttSubscriber::Message> MqttSubscriber::messages()
{
    gather();
    return m_messages;
}

QStringList MqttSubscriber::payloads(const QString &topic)
{
    QStringList found;
    for (const Message &message : messages()) {
        if (message.topic == topic)
            found.append(message.payload);
    }
    return found;
}

QString MqttSubscriber::last(const QString &topic)
{
    const QStringList found = payloads(topic);
    return found.isEmpty() ? QString() : found.constLast();
}

bool MqttSubscriber::publish(int port, const QString &topic, const QString &payload, bool retained)
{
    QStringList arguments{QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(port),
                          QStringLiteral("-q"), QStringLiteral("1"), QStringLiteral("-t"), topic,
                          QStringLiteral("-m"), payload};
    if (retained)
        arguments << QStringLiteral("-r");
    QProcess publisher;
    publisher.start(QStringLiteral("mosquitto_pub"), arguments);
    return publisher.waitForFinished(ProcessTimeoutMs) && publisher.exitStatus() == QProcess::NormalExit
           && publisher.exitCode() == 0;
}

void MqttSubscriber::gather()
{
    m_pending += m_process.readAllStandardOutput();
    int end = 0;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 1);
        if (line.contains("received SUBACK"))
            m_subscribed = true;
        if (!line.startsWith(messageMark))
            continue;
        // "MSG " retain flag, a blank, topic, a blank, payload
        const QByteArray rest = line.mid(messageMark.size() + 2);
        const int blank = rest.indexOf(' ');
        m_messages.append({QString::fromUtf8(rest.left(blank)), QString::fromUtf8(rest.mid(blank + 1)),
                           line.at(messageMark.size()) == '1'});
    }
}
