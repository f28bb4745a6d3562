#include "mqttconnection.h"

#include <mosquitto.h>

#include <QSocketNotifier>

#include <cerrno>

namespace {

const int firstRetryDelayMs = 1000;
const int longestRetryDelayMs = 30000;
// The broker drops a client that says nothing for 1.5 times this; libmosquitto pings
// it and drops a broker that does not answer within it.
const int keepAliveSeconds = 30;
const int serviceIntervalMs = 1000;
// A broker that took the TCP connection but does not answer CONNECT.
const int connectTimeoutMs = 10000;
// The goodbye that does not get out in this time is left to the last will.
const int closeTimeoutMs = 1000;
// At least once to the broker: a value, status or result it did not acknowledge is sent again.
const int qualityOfService = 1;

// Deletes a notifier that may be emitting right now.
void drop(std::unique_ptr<QSocketNotifier> &notifier)
{
    if (!notifier)
        return;
    notifier->setEnabled(false);
    notifier.release()->deleteLater();
}

} // namespace

// A set value is a number; anything longer is refused whole by the receiver.
const int MqttConnection::maxIncomingPayloadBytes = 64;

MqttConnection::MqttConnection(const MqttSettings &settings, const QString &willTopic, const QByteArray &willPayload)
    : m_settings(settings)
    , m_willTopic(willTopic)
    , m_willPayload(willPayload)
    , m_serviceTimer(this)
    , m_retry(firstRetryDelayMs, longestRetryDelayMs, [this] { attempt(); }, this)
    , m_giveUpTimer(this)
{
    m_serviceTimer.setInterval(serviceIntervalMs);
    m_giveUpTimer.setSingleShot(true);
    connect(&m_serviceTimer, &QTimer::timeout, this, &MqttConnection::serve);
    connect(&m_giveUpTimer, &QTimer::timeout, this, [this] {
        if (m_state == State::Closing)
            finishClose();
        else if (m_state == State::Connecting)
            fail(QStringLiteral("no answer within %1 s").arg(connectTimeoutMs / 1000));
    });
}

MqttConnection::~MqttConnection()
{
    destroyClient();
}

void MqttConnection::open()
{
    attempt();
}

void MqttConnection::publish(const QString &topic, const QByteArray &payload, bool retained)
{
    if (m_state != State::Connected)
        return;
    const int code = mosquitto_publish(m_client, nullptr, topic.toUtf8().constData(), payload.size(),
                                       payload.constData(), qualityOfService, retained);
    if (code != MOSQ_ERR_SUCCESS)
        return fail(errorText(code));
    watchWrites();
}

void MqttConnection::subscribe(const QString &pattern)
{
    m_subscriptions.append(pattern);
    if (m_state != State::Connected)
        return;
    const int code = mosquitto_subscribe(m_client, nullptr, pattern.toUtf8().constData(), qualityOfService);
    if (code != MOSQ_ERR_SUCCESS)
        fail(errorText(code));
}

void MqttConnection::close(const QString &topic, const QByteArray &payload)
{
    if (m_state != State::Connected)
        return finishClose();
    publish(topic, payload, true);
    if (m_state != State::Connected)
        return finishClose();
    m_state = State::Closing;
    mosquitto_disconnect(m_client);
    m_giveUpTimer.start(closeTimeoutMs);
    serve();
}

void MqttConnection::onConnect(mosquitto *, void *self, int code)
{
    static_cast<MqttConnection *>(self)->m_connackCode = code;
}

void MqttConnection::onDisconnect(mosquitto *, void *self, int)
{
    static_cast<MqttConnection *>(self)->m_disconnected = true;
}

void MqttConnection::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    const int length = qBound(0, message->payloadlen, maxIncomingPayloadBytes + 1);
    emit static_cast<MqttConnection *>(self)->messageReceived(
        QString::fromUtf8(message->topic), QByteArray(static_cast<const char *>(message->payload), length),
        message->retain);
}

void MqttConnection::attempt()
{
    if (m_state != State::Waiting)
        return;
    QString reason;
    if (!createClient(&reason))
        return fail(reason);
    m_state = State::Connecting;
    const int code = mosquitto_connect_async(m_client, m_settings.host.toUtf8().constData(), m_settings.port,
                                             keepAliveSeconds);
    if (code != MOSQ_ERR_SUCCESS)
        return fail(errorText(code));
    watchSocket();
    m_serviceTimer.start();
    m_giveUpTimer.start(connectTimeoutMs);
    serve();
}

bool MqttConnection::createClient(QString *errorText)
{
    m_client = mosquitto_new(nullptr, true, this);
    if (!m_client) {
        *errorText = QStringLiteral("cannot create a client: %1").arg(qt_error_string(errno));
        return false;
    }
    mosquitto_connect_callback_set(m_client, &MqttConnection::onConnect);
    mosquitto_disconnect_callback_set(m_client, &MqttConnection::onDisconnect);
    mosquitto_message_callback_set(m_client, &MqttConnection::onMessage);
    const QByteArray willTopic = m_willTopic.toUtf8();
    int code = mosquitto_will_set(m_client, willTopic.constData(), m_willPayload.size(), m_willPayload.constData(),
                                  qualityOfService, true);
    if (code == MOSQ_ERR_SUCCESS && !m_settings.user.isEmpty()) {
        code = mosquitto_username_pw_set(m_client, m_settings.user.toUtf8().constData(),
                                         m_settings.password.isNull() ? nullptr : m_settings.password.constData());
    }
    if (code == MOSQ_ERR_SUCCESS && !m_settings.caFile.isEmpty())
        code = mosquitto_tls_set(m_client, m_settings.caFile.toLocal8Bit().constData(), nullptr, nullptr, nullptr, nullptr);
    if (code != MOSQ_ERR_SUCCESS)
        *errorText = MqttConnection::errorText(code);
    return code == MOSQ_ERR_SUCCESS;
}

void MqttConnection::destroyClient()
{
    drop(m_readNotifier);
    drop(m_writeNotifier);
    if (m_client)
        mosquitto_destroy(m_client);
    m_client = nullptr;
    m_connackCode = -1;
    m_disconnected = false;
}

void MqttConnection::watchSocket()
{
    const int socket = mosquitto_socket(m_client);
    if (socket < 0)
        return;
    m_readNotifier = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
    m_writeNotifier = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Write);
    connect(m_readNotifier.get(), &QSocketNotifier::activated, this, &MqttConnection::serve);
    connect(m_writeNotifier.get(), &QSocketNotifier::activated, this, &MqttConnection::serve);
}

// One pass of libmosquitto's own loop without waiting: it reads, writes, goes on with
// a TLS handshake and pings as the socket and the clock allow.
void MqttConnection::serve()
{
    if (!m_client)
        return;
    const int code = mosquitto_loop(m_client, 0, 1);
    const QString reason = code == MOSQ_ERR_SUCCESS ? QString() : errorText(code);
    afterCallbacks();
    if (!m_client)
        return;
    const bool gone = code != MOSQ_ERR_SUCCESS || m_disconnected || mosquitto_socket(m_client) < 0;
    if (gone && m_state == State::Closing)
        return finishClose();
    if (gone)
        return fail(reason.isEmpty() ? QStringLiteral("the broker closed the connection") : reason);
    watchWrites();
}

// What libmosquitto could not write at once waits for the socket to take it.
void MqttConnection::watchWrites()
{
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(mosquitto_want_write(m_client));
}

void MqttConnection::afterCallbacks()
{
    if (m_connackCode < 0)
        return;
    const int code = m_connackCode;
    m_connackCode = -1;
    if (code != 0)
        return fail(sentence(QString::fromUtf8(mosquitto_connack_string(code))));
    m_state = State::Connected;
    m_giveUpTimer.stop();
    m_retry.reset();
    for (const QString &pattern : qAsConst(m_subscriptions)) {
        const int subscribed = mosquitto_subscribe(m_client, nullptr, pattern.toUtf8().constData(), qualityOfService);
        if (subscribed != MOSQ_ERR_SUCCESS)
            return fail(errorText(subscribed));
    }
    emit connected();
}

void MqttConnection::fail(const QString &reason)
{
    if (m_state == State::Closing || m_state == State::Closed)
        return finishClose();
    destroyClient();
    m_state = State::Waiting;
    m_serviceTimer.stop();
    m_giveUpTimer.stop();
    emit failed(reason);
    m_retry.retryLater();
}

void MqttConnection::finishClose()
{
    if (m_state == State::Closed)
        return;
    destroyClient();
    m_state = State::Closed;
    m_serviceTimer.stop();
    m_giveUpTimer.stop();
    m_retry.reset();
    emit closed();
}

QString MqttConnection::errorText(int code)
{
    if (code == MOSQ_ERR_ERRNO)
        return qt_error_string(errno);
    return sentence(QString::fromUtf8(mosquitto_strerror(code)));
}

// libmosquitto's texts end with a full stop; ours go on after them.
QString MqttConnection::sentence(const QString &text)
{
    return text.endsWith(QLatin1Char('.')) ? text.chopped(1) : text;
}
