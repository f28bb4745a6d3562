#include "mqttbridge.h"

#include "mqttdevice.h"

#include <mosquitto.h>

#include <QFile>
#include <QHostAddress>
#include <QHostInfo>
#include <QThread>

namespace {

const int plainPort = 1883;
const int tlsPort = 8883;
// MQTT carries a password of at most 65535 bytes; the line end may follow.
const qint64 longestPasswordBytes = 65535;
// The goodbyes take a round trip each; a lookup or connect that hangs is not waited for.
const int stopTimeoutMs = 3000;

} // namespace

MqttBridge::MqttBridge(const Options &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_thread(new QThread)
    , m_err(stderr)
    , m_stopTimer(this)
{
    mosquitto_lib_init();
    m_err.setCodec("UTF-8");
    m_thread->setObjectName(QStringLiteral("mqtt"));
    m_stopTimer.setSingleShot(true);
    connect(&m_stopTimer, &QTimer::timeout, this, &MqttBridge::endThread);
}

MqttBridge::~MqttBridge()
{
    if (m_thread->isRunning()) {
        m_thread->quit();
        // A thread stuck in a name lookup is left to the end of the process.
        if (!m_thread->wait(stopTimeoutMs))
            return;
    }
    delete m_thread;
    mosquitto_lib_cleanup();
}

void MqttBridge::addDevice(PollSession *session)
{
    m_devices.append(new MqttDevice(m_options.mqttPrefix, session, this));
}

bool MqttBridge::start(QString *errorText)
{
    if (!readSettings(errorText))
        return false;
    m_thread->start();
    for (MqttDevice *device : qAsConst(m_devices)) {
        auto *connection = new MqttConnection(m_settings, device->statusTopic(), MqttDevice::offline());
        connection->moveToThread(m_thread);
        m_connections.append(connection);
        connect(device, &MqttDevice::publishRequested, connection, &MqttConnection::publish);
        connect(connection, &MqttConnection::messageReceived, device, &MqttDevice::onMessage);
        connect(connection, &MqttConnection::connected, device, &MqttDevice::onBrokerConnected);
        connect(connection, &MqttConnection::failed, device, &MqttDevice::onBrokerLost);
        connect(connection, &MqttConnection::connected, this, [this, connection] { onConnected(connection); });
        connect(connection, &MqttConnection::failed, this,
                [this, connection](const QString &reason) { onFailed(connection, reason); });
        connect(connection, &MqttConnection::closed, this, &MqttBridge::onClosed);
        connect(connection, &MqttConnection::closed, connection, &QObject::deleteLater);
        const QString pattern = device->setTopicPattern();
        QMetaObject::invokeMethod(connection, [connection, pattern] {
            connection->subscribe(pattern);
            connection->open();
        }, Qt::QueuedConnection);
    }
    return true;
}

void MqttBridge::stop()
{
    m_stopping = true;
    if (!m_thread->isRunning() || m_connections.isEmpty())
        return endThread();
    m_open = m_connections.size();
    for (int i = 0; i < m_connections.size(); ++i) {
        MqttConnection *connection = m_connections.at(i);
        const QString topic = m_devices.at(i)->statusTopic();
        QMetaObject::invokeMethod(connection, [connection, topic] { connection->close(topic, MqttDevice::offline()); },
                                  Qt::QueuedConnection);
    }
    m_stopTimer.start(stopTimeoutMs);
}

bool MqttBridge::readSettings(QString *errorText)
{
    m_settings.host = m_options.mqttHost;
    m_settings.caFile = m_options.mqttCaFile;
    m_settings.port = m_options.mqttPort > 0 ? m_options.mqttPort : m_settings.caFile.isEmpty() ? plainPort : tlsPort;
    m_settings.user = m_options.mqttUser;
    if (QHostAddress(m_settings.host).isNull()) {
        const QHostInfo info = QHostInfo::fromName(m_settings.host);
        if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
            *errorText = QStringLiteral("cannot resolve the MQTT broker host %1: %2").arg(m_settings.host, info.errorString());
            return false;
        }
    }
    if (!m_options.mqttPasswordFile.isEmpty()) {
        QFile file(m_options.mqttPasswordFile);
        if (!file.open(QIODevice::ReadOnly)) {
            *errorText = QStringLiteral("cannot read the MQTT password file %1: %2").arg(file.fileName(), file.errorString());
            return false;
        }
        const QByteArray firstLine = file.readLine(longestPasswordBytes + 2);
        m_settings.password = firstLine.endsWith('\n') ? firstLine.chopped(1) : firstLine;
        if (m_settings.password.endsWith('\r'))
            m_settings.password.chop(1);
        if (m_settings.password.size() > longestPasswordBytes) {
            *errorText = QStringLiteral("the password in %1 is longer than %2 bytes").arg(file.fileName()).arg(longestPasswordBytes);
            return false;
        }
    }
    if (!m_settings.caFile.isEmpty()) {
        QFile file(m_settings.caFile);
        if (!file.open(QIODevice::ReadOnly)) {
            *errorText = QStringLiteral("cannot read the CA file %1: %2").arg(file.fileName(), file.errorString());
            return false;
        }
    }
    return true;
}

void MqttBridge::onConnected(MqttConnection *connection)
{
    m_connected.insert(connection);
    if (!m_outage || m_connected.size() < m_connections.size())
        return;
    m_outage = false;
    note(QStringLiteral("MQTT broker %1: connected again").arg(brokerName()));
}

void MqttBridge::onFailed(MqttConnection *connection, const QString &reason)
{
    m_connected.remove(connection);
    if (m_outage || m_stopping)
        return;
    m_outage = true;
    note(QStringLiteral("MQTT broker %1: %2; connecting again after 1 s, then up to every 30 s").arg(brokerName(), reason));
}

void MqttBridge::onClosed()
{
    if (--m_open == 0)
        endThread();
}

void MqttBridge::endThread()
{
    if (m_stopped)
        return;
    m_stopped = true;
    m_stopTimer.stop();
    m_thread->quit();
    m_thread->wait(stopTimeoutMs);
    emit stopped();
}

QString MqttBridge::brokerName() const
{
    return QStringLiteral("%1:%2").arg(m_settings.host).arg(m_settings.port);
}

void MqttBridge::note(const QString &text)
{
    m_err << "velmor-cli: " << text << Qt::endl;
}
