#include "mqttdevice.h"

#include "mqttconnection.h"
#include "pollsession.h"
#include "readingfeed.h"
#include "valuesetter.h"
#include "variablelabel.h"
#include "velmordevicemodel.h"

namespace {

const QString setLevel = QStringLiteral("/set");
const QString resultLevel = QStringLiteral("/result");

} // namespace

MqttDevice::MqttDevice(const QString &prefix, PollSession *session, QObject *parent)
    : QObject(parent)
    , m_model(session->model())
    , m_readings(session->readings())
    , m_deviceTopic(prefix + QLatin1Char('/') + TopicNames::level(session->deviceName()))
    , m_names(m_model)
    , m_published(m_model->varCount())
    , m_read(m_model->varCount(), false)
{
    connect(m_readings, &ReadingFeed::read, this, &MqttDevice::onRead);
    connect(m_readings, &ReadingFeed::failed, this, &MqttDevice::onReadFailed);
    connect(m_model, &VelmorDeviceModel::writeFailed, this, &MqttDevice::onWriteFailed);
    connect(session, &PollSession::linkChanged, this, &MqttDevice::onLinkChanged);
}

QString MqttDevice::statusTopic() const
{
    return m_deviceTopic + QStringLiteral("/status");
}

QString MqttDevice::setTopicPattern() const
{
    return m_deviceTopic + QStringLiteral("/+") + setLevel;
}

QByteArray MqttDevice::offline()
{
    return QByteArrayLiteral("offline");
}

void MqttDevice::onBrokerConnected()
{
    m_brokerUp = true;
    m_published.fill(QString());
    publishStatus();
    for (int id = 0; id < m_read.size(); ++id) {
        if (m_read.at(id))
            publishValue(m_readings->current(id));
    }
}

void MqttDevice::onBrokerLost()
{
    m_brokerUp = false;
}

void MqttDevice::onMessage(const QString &topic, const QByteArray &payload, bool retained)
{
    const QString devicePart = m_deviceTopic + QLatin1Char('/');
    if (!topic.startsWith(devicePart) || !topic.endsWith(setLevel))
        return;
    const QString level = topic.mid(devicePart.size(), topic.size() - devicePart.size() - setLevel.size());
    const int id = m_names.variableId(level);
    if (id < 0) {
        emit publishRequested(topic + resultLevel, QStringLiteral("no variable is published as %1").arg(level).toUtf8(),
                              false);
        return;
    }
    QString error = refusal(id, payload, retained);
    // Every byte counts: QString::fromUtf8(QByteArray) would end the text at a NUL and
    // write what came before it.
    VariableWrite write(id, variableLabel(m_model, id), QString::fromUtf8(payload.constData(), payload.size()));
    if (error.isEmpty() && write.parse(m_model, &error))
        error = hindrance(id);
    if (!error.isEmpty())
        return answer(id, error);
    apply(write);
}

void MqttDevice::onRead(const Reading &reading)
{
    m_read[reading.id] = true;
    // The value first, so that whoever sees "ok" finds it published.
    publishValue(reading);
    settle(reading, QString());
}

void MqttDevice::onReadFailed(const Reading &reading, const QString &reason)
{
    settle(reading, reason.isEmpty() ? QStringLiteral("the read failed") : reason);
}

void MqttDevice::onWriteFailed(int id, const QString &reason)
{
    if (!m_pending.contains(id))
        return;
    const VariableWrite write = m_pending.take(id);
    answer(id, QStringLiteral("%1: write failed: %2").arg(write.name(), reason));
}

void MqttDevice::onLinkChanged(bool up)
{
    m_linkUp = up;
    publishStatus();
}

void MqttDevice::publishStatus()
{
    if (m_brokerUp)
        emit publishRequested(statusTopic(), m_linkUp ? QByteArrayLiteral("online") : offline(), true);
}

void MqttDevice::publishValue(const Reading &reading)
{
    if (!m_brokerUp || reading.text == m_published.at(reading.id))
        return;
    m_published[reading.id] = reading.text;
    emit publishRequested(variableTopic(reading.id), reading.text.toUtf8(), true);
}

QString MqttDevice::refusal(int id, const QByteArray &payload, bool retained) const
{
    const QString name = variableLabel(m_model, id);
    // A retained set would be written again at every reconnect, long after it was meant.
    if (retained)
        return QStringLiteral("%1: not written: a set must not be retained").arg(name);
    if (payload.size() > MqttConnection::maxIncomingPayloadBytes)
        return QStringLiteral("%1: not written: the value is longer than %2 bytes")
            .arg(name).arg(MqttConnection::maxIncomingPayloadBytes);
    if (!ValueSetter::writable(m_model, id))
        return QStringLiteral("%1 is read-only").arg(name);
    return QString();
}

QString MqttDevice::hindrance(int id) const
{
    const QString name = variableLabel(m_model, id);
    if (!m_linkUp)
        return QStringLiteral("%1: not written: the link to the controller is down").arg(name);
    if (m_pending.contains(id))
        return QStringLiteral("%1: not written: an earlier set waits for its read-back").arg(name);
    return QString();
}

void MqttDevice::apply(const VariableWrite &write)
{
    VariableWrite applied = write;
    QString error;
    if (!applied.apply(m_model, &error))
        return answer(write.id(), error);
    m_pending.insert(applied.id(), applied);
}

void MqttDevice::settle(const Reading &reading, const QString &readFailure)
{
    const int id = reading.id;
    if (!m_pending.contains(id))
        return;
    const VariableWrite write = m_pending.take(id);
    if (!readFailure.isEmpty())
        answer(id, QStringLiteral("%1: wrote %2, but it could not be read back: %3").arg(write.name(), write.requested(), readFailure));
    else if (write.readBackMatches(m_model))
        answer(id, QStringLiteral("ok"));
    else
        answer(id, QStringLiteral("%1: wrote %2, controller reports %3")
                       .arg(write.name(), write.requested(), reading.text));
}

void MqttDevice::answer(int id, const QString &result)
{
    emit publishRequested(variableTopic(id) + setLevel + resultLevel, result.toUtf8(), false);
}

QString MqttDevice::variableTopic(int id) const
{
    return m_deviceTopic + QLatin1Char('/') + m_names.variableLevel(id);
}
