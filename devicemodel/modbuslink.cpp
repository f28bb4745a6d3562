#include "modbuslink.h"

#include "modbusrtulinewatch.h"
#include "registerlayout.h"

#include <QDataStream>
#include <QDebug>
#include <QModbusReply>
#include <QModbusRtuSerialMaster>
#include <QModbusTcpClient>
#include <QSerialPort>

namespace {

// Response timeouts the next RTU request waits after one that may still be answered.
const int lateAnswerWaitTimeouts = 2;

ModbusReplyMatch::Request readRequest(const VariableLink &variable)
{
    return {variable.input ? QModbusPdu::ReadInputRegisters : QModbusPdu::ReadHoldingRegisters, variable.addr,
            RegisterLayout::modbusRegisterCount(variable.type)};
}

// Qt reports an exception response as a protocol error. Its function code is not read
// here: Qt 5.15 keeps it sign-extended, an invalid enumeration value.
int exceptionCode(const QModbusReply &reply)
{
    const QByteArray exceptionData = reply.rawResult().data();
    return reply.error() == QModbusDevice::ProtocolError && !exceptionData.isEmpty() ? quint8(exceptionData.at(0))
                                                                                    : 255;
}

} // namespace

ModbusLink::ModbusLink(Transport transport, QObject *parent)
    : DeviceLink(parent)
    , m_transport(transport)
{
    if (transport == Transport::Rtu) {
        m_client = new QModbusRtuSerialMaster(this);
        m_lineWatch = new ModbusRtuLineWatch(this);
        connect(m_lineWatch, &ModbusRtuLineWatch::lost, this, [this] {
            if (!m_closing)
                emit lost(m_client->errorString());
        });
    } else {
        m_client = new QModbusTcpClient(this);
    }
    connect(m_client, &QModbusClient::stateChanged, this, &ModbusLink::onStateChanged);
}

bool ModbusLink::open(const LinkSettings &settings)
{
    m_settings = settings;
    if (m_transport == Transport::Rtu) {
        configureSerial(settings);
    } else {
        m_client->setConnectionParameter(QModbusDevice::NetworkAddressParameter, settings.tcpHost);
        m_client->setConnectionParameter(QModbusDevice::NetworkPortParameter, settings.tcpPort);
    }
    m_client->setNumberOfRetries(0);
    if (!m_client->connectDevice())
        return false;
    if (m_lineWatch) {
        if (auto *port = m_client->findChild<QSerialPort *>())
            m_lineWatch->attach(port);
    }
    return true;
}

void ModbusLink::configureSerial(const LinkSettings &settings)
{
    m_client->setConnectionParameter(QModbusDevice::SerialPortNameParameter, settings.serialPort);
    m_client->setConnectionParameter(QModbusDevice::SerialBaudRateParameter, settings.baudRate);
    m_client->setConnectionParameter(QModbusDevice::SerialParityParameter, QSerialPort::NoParity);
    m_client->setConnectionParameter(QModbusDevice::SerialDataBitsParameter, QSerialPort::Data8);
    m_client->setConnectionParameter(QModbusDevice::SerialStopBitsParameter, QSerialPort::OneStop);
}

void ModbusLink::close()
{
    m_closing = true;
    m_client->disconnectDevice();
    m_closing = false;
}

QString ModbusLink::openFailure() const
{
    if (m_transport == Transport::Tcp)
        return QStringLiteral("Unable connect to %1:%2").arg(m_settings.tcpHost).arg(m_settings.tcpPort);
    return QStringLiteral("Unable open serial port %1 (baudrate: %2)").arg(m_settings.serialPort).arg(m_settings.baudRate);
}

bool ModbusLink::isConnecting() const
{
    return m_client->state() == QModbusDevice::ConnectingState;
}

quint64 ModbusLink::read(const VariableLink &variable, int devId)
{
    const ModbusReplyMatch::Request expected = readRequest(variable);
    const auto table = variable.input ? QModbusDataUnit::InputRegisters : QModbusDataUnit::HoldingRegisters;
    const QModbusDataUnit unit(table, variable.addr, QVector<quint16>(expected.registerCount, 0));
    return watch(m_client->sendReadRequest(unit, devId), Purpose::Read, expected);
}

quint64 ModbusLink::write(const VariableLink &variable, quint32 pattern, int devId)
{
    const int count = RegisterLayout::modbusRegisterCount(variable.type);
    QByteArray payload;
    QDataStream stream(&payload, QIODevice::WriteOnly);
    stream.setByteOrder(QDataStream::BigEndian);
    stream << variable.addr << quint16(count) << quint8(2 * count);
    for (int i = 0; i < count; ++i)
        stream << RegisterLayout::modbusWriteRegister(pattern, i);
    const QModbusRequest request(QModbusRequest::WriteMultipleRegisters, payload);
    QModbusReply *reply = m_client->sendRawRequest(request, devId);
    if (!reply) {
        qCritical("MODBUS::reply is nullptr");
        return 0;
    }
    return watch(reply, Purpose::Command, {QModbusPdu::WriteMultipleRegisters, variable.addr, count});
}

bool ModbusLink::storesConfiguration() const
{
    return false;
}

quint64 ModbusLink::storeConfiguration(int)
{
    return 0;
}

int ModbusLink::pauseAfterFailure(int usualDelayMs) const
{
    // The RTU client matches an answer by server address and function code only, so one
    // that comes after its timeout would be taken for the next request of that kind. A
    // request that timed out may still be answered, and an answer that was not for its
    // request was a late one: the next request waits two more timeouts, so that a late
    // answer arrives while no request is open and is dropped.
    if (m_transport != Transport::Rtu || !m_lateAnswerPossible)
        return usualDelayMs;
    return qMax(usualDelayMs, lateAnswerWaitTimeouts * m_client->timeout());
}

void ModbusLink::dropPendingRequest()
{
    if (!m_pending)
        return;
    disconnect(m_pending, nullptr, this, nullptr);
    connect(m_pending, &QModbusReply::finished, m_pending, &QObject::deleteLater);
    m_pending = nullptr;
}

quint64 ModbusLink::watch(QModbusReply *reply, Purpose purpose, const ModbusReplyMatch::Request &expected)
{
    if (!reply)
        return 0;
    const quint64 request = nextRequestId();
    m_pending = reply;
    if (m_lineWatch)
        m_lineWatch->requestSent();
    connect(reply, &QModbusReply::finished, this,
            [this, reply, request, purpose, expected] { onFinished(reply, request, purpose, expected); });
    // A broadcast (server address 0) comes back already finished and never emits finished().
    if (reply->isFinished())
        QMetaObject::invokeMethod(reply, &QModbusReply::finished, Qt::QueuedConnection);
    return request;
}

void ModbusLink::onFinished(QModbusReply *reply, quint64 request, Purpose purpose,
                            const ModbusReplyMatch::Request &expected)
{
    reply->deleteLater();
    if (reply == m_pending) {
        m_pending = nullptr;
        if (m_lineWatch)
            m_lineWatch->answerSettled();
    }
    const QString why = failure(*reply, expected);
    m_lateAnswerPossible = !why.isEmpty()
                           && (reply->error() == QModbusDevice::TimeoutError || reply->error() == QModbusDevice::NoError);
    if (purpose == Purpose::Command) {
        emit commandFinished(request, why);
        return;
    }
    if (!why.isEmpty()) {
        emit readFinished(request, 0, why);
        if (reply->error() != QModbusDevice::NoError)
            qDebug().noquote() << why << QStringLiteral("(%1)").arg(exceptionCode(*reply));
        else
            qDebug().noquote() << why;
        return;
    }
    const QModbusDataUnit result = reply->result();
    const quint16 first = result.valueCount() > 0 ? result.value(0) : 0;
    const quint16 second = result.valueCount() == 2 ? result.value(1) : 0;
    emit readFinished(request, RegisterLayout::rawWordFromModbusRead(first, second), QString());
}

QString ModbusLink::failure(const QModbusReply &reply, const ModbusReplyMatch::Request &expected) const
{
    if (reply.error() != QModbusDevice::NoError)
        return reply.errorString();
    return ModbusReplyMatch::mismatch(reply, expected);
}

void ModbusLink::onStateChanged(QModbusDevice::State state)
{
    if (state == QModbusDevice::ConnectedState) {
        const bool wasConnecting = !m_up;
        m_up = true;
        if (wasConnecting)
            emit ready();
        return;
    }
    if (state != QModbusDevice::UnconnectedState)
        return;
    const bool wasUp = m_up;
    m_up = false;
    if (m_closing)
        return;
    // The TCP client accepts connectDevice() before the server answers; a refused or
    // closed connection only shows up here. Replies in flight report a loss themselves.
    if (wasUp)
        emit closedByPeer();
    else
        emit refused();
}
