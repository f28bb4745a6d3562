#include "mqttsubscriber.h"

namespace {

constexpr int ProcessTimeoutMs = 15000;

} // namespace

MqttSubscriber::MqttSubscriber(int port, const QString &pattern, const QStringList &moreArguments)
{
    m_process.start(QStringLiteral("mosquitto_sub"),
                    QStringList{QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(port),
                                QStringLiteral("-q"), QStringLiteral("1"), QStringLiteral("-t"), pattern,
                                QStringLiteral("-F"), QStringLiteral("%r %t %p")}
                        + moreArguments);
}

MqttSubscriber::~MqttSubscriber()
{
    m_process.kill();
    m_process.waitForFinished(ProcessTimeoutMs);
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

bool MqttSubscriber::publish(int port, const QString &topic, const QByteArray &payload, bool retained)
{
    // -s: the whole of stdin is the message, which an argument could not carry.
    QStringList arguments{QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(port),
                          QStringLiteral("-q"), QStringLiteral("1"), QStringLiteral("-t"), topic, QStringLiteral("-s")};
    if (retained)
        arguments << QStringLiteral("-r");
    QProcess publisher;
    publisher.start(QStringLiteral("mosquitto_pub"), arguments);
    publisher.write(payload);
    publisher.closeWriteChannel();
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
        // retain flag, a blank, topic, a blank, payload
        const QByteArray rest = line.mid(2);
        const int blank = rest.indexOf(' ');
        m_messages.append({QString::fromUtf8(rest.left(blank)), QString::fromUtf8(rest.mid(blank + 1)),
                           line.startsWith('1')});
    }
}
