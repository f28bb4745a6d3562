#include "modbuslink.h"

#include "modbusrtulinewatch.h"
#include "registerlayout.h"
#include "serialportframing.h"

#include <QAbstractSocket>
#include <QDataStream>
#include <QDebug>
#include <QModbusReply>
#include <QModbusRtuSerialMaster>
#include <QModbusTcpClient>
#include <QSerialPort>

namespace {

// Qt's own response timeout, which the link kept until it could be set.
const int defaultResponseTimeoutMs = 1000;

// Response timeouts the next RTU request waits after one that may still be answered.
const int lateAnswerWaitTimeouts = 2;

// From the first register of the first variable to the last of the last.
ModbusReplyMatch::Request readRequest(const QVector<VariableLink> &variables)
{
    const VariableLink &first = variables.first();
    const VariableLink &last = variables.last();
    return {first.input ? QModbusPdu::ReadInputRegisters : QModbusPdu::ReadHoldingRegisters, first.addr,
            int(last.addr) + RegisterLayout::modbusRegisterCount(last.type) - int(first.addr)};
}

RegisterLayout::WordOrder wordOrderOf(const VariableLink &variable, RegisterLayout::WordOrder linkOrder)
{
    return variable.hasWordOrder ? variable.wordOrder : linkOrder;
}

// Each variable from its own registers, with the layout of a read of its own.
QVector<quint32> rawWords(const QModbusDataUnit &result, const QVector<VariableLink> &variables,
                          RegisterLayout::WordOrder linkOrder)
{
    QVector<quint32> words;
    words.reserve(variables.size());
    for (const VariableLink &variable : variables) {
        const int offset = int(variable.addr) - int(variables.first().addr);
        const bool twoRegisters = RegisterLayout::modbusRegisterCount(variable.type) == 2;
        const quint16 first = offset < int(result.valueCount()) ? result.value(offset) : 0;
        const quint16 second = twoRegisters && offset + 1 < int(result.valueCount()) ? result.value(offset + 1) : 0;
        words.append(RegisterLayout::rawWordFromModbusRead(wordOrderOf(variable, linkOrder), variable.type, first,
                                                           second));
    }
    return words;
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

ModbusLink::ModbusLink(const ProtocolTraits &protocol, QObject *parent)
    : DeviceLink(protocol, parent)
    , m_transport(protocol.isSerial() ? Transport::Rtu : Transport::Tcp)
{
    if (m_transport == Transport::Rtu) {
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

void ModbusLink::replaceTcpClient()
{
    // The old client's replies in flight still finish and are reported as before.
    QModbusClient *old = m_client;
    disconnect(old, &QModbusClient::stateChanged, this, &ModbusLink::onStateChanged);
    connect(old, &QModbusClient::stateChanged, old, [old](QModbusDevice::State state) {
        if (state == QModbusDevice::UnconnectedState)
            old->deleteLater();
    });
    m_client = new QModbusTcpClient(this);
    connect(m_client, &QModbusClient::stateChanged, this, &ModbusLink::onStateChanged);
}

bool ModbusLink::open(const LinkSettings &settings)
{
    m_settings = settings;
    m_lostWhileClosing = false;
    // A TCP client that was just closed may still wait for its socket to finish, and
    // refuses to connect until then: a reconnect must work at once, so a fresh one takes over.
    if (m_transport == Transport::Tcp && m_client->state() != QModbusDevice::UnconnectedState)
        replaceTcpClient();
    if (m_transport == Transport::Rtu) {
        configureSerial(settings);
    } else {
        m_client->setConnectionParameter(QModbusDevice::NetworkAddressParameter, settings.tcpHost);
        m_client->setConnectionParameter(QModbusDevice::NetworkPortParameter, settings.tcpPort);
    }
    m_client->setTimeout(settings.responseTimeoutMs > 0 ? settings.responseTimeoutMs : defaultResponseTimeoutMs);
    // The link sends again itself, so that every frame on the wire is traced.
    m_client->setNumberOfRetries(0);
    // A connection refused at once has already gone back to the unconnected state, before
    // the model took the link for open and could hear of the refusal.
    if (!m_client->connectDevice() || m_client->state() == QModbusDevice::UnconnectedState)
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
    m_client->setConnectionParameter(QModbusDevice::SerialParityParameter, SerialPortFraming::parity(settings.framing));
    m_client->setConnectionParameter(QModbusDevice::SerialDataBitsParameter,
                                     SerialPortFraming::dataBits(settings.framing));
    m_client->setConnectionParameter(QModbusDevice::SerialStopBitsParameter,
                                     SerialPortFraming::stopBits(settings.framing));
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

QString ModbusLink::openFailureReason() const
{
    // Qt's TCP client takes its error text from the socket only after it has told its
    // state; the socket has it already.
    if (m_transport == Transport::Tcp) {
        if (const auto *socket = m_client->findChild<QAbstractSocket *>())
            return socket->errorString();
    }
    return m_client->errorString();
}

QString ModbusLink::addressRefusal(int devId) const
{
    // Qt finishes a request to the broadcast address at once, with no data and no error:
    // a read would store a value no device sent, a write would look confirmed.
    if (m_transport != Transport::Rtu || (devId >= 1 && devId <= 247))
        return QString();
    return QStringLiteral("Modbus RTU address %1 reaches no single device: give the device an id from 1 to 247")
        .arg(devId);
}

bool ModbusLink::isConnecting() const
{
    return m_client->state() == QModbusDevice::ConnectingState;
}

quint64 ModbusLink::read(const VariableLink &variable, int devId)
{
    return sendRead({variable}, Purpose::Read, devId);
}

quint64 ModbusLink::readBlock(const QVector<VariableLink> &variables, int devId)
{
    return variables.isEmpty() ? 0 : sendRead(variables, Purpose::BlockRead, devId);
}

quint64 ModbusLink::sendRead(const QVector<VariableLink> &variables, Purpose purpose, int devId)
{
    const ModbusReplyMatch::Request expected = readRequest(variables);
    return start({purpose, expected, variables,
                  QModbusRequest(expected.functionCode, expected.addr, quint16(expected.registerCount)), devId});
}

quint64 ModbusLink::write(const VariableLink &variable, quint32 pattern, int devId)
{
    const int count = RegisterLayout::modbusRegisterCount(variable.type);
    QByteArray payload;
    QDataStream stream(&payload, QIODevice::WriteOnly);
    stream.setByteOrder(QDataStream::BigEndian);
    stream << variable.addr << quint16(count) << quint8(2 * count);
    const RegisterLayout::WordOrder order = wordOrderOf(variable, m_settings.wordOrder);
    for (int i = 0; i < count; ++i)
        stream << RegisterLayout::modbusWriteRegister(order, variable.type, pattern, i);
    const QModbusRequest request(QModbusRequest::WriteMultipleRegisters, payload);
    const quint64 id =
        start({Purpose::Command, {QModbusPdu::WriteMultipleRegisters, variable.addr, count}, {}, request, devId});
    if (!id)
        qCritical("MODBUS::reply is nullptr");
    return id;
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

quint64 ModbusLink::start(const Sent &sent)
{
    QModbusReply *reply = transmit(sent);
    if (!reply)
        return 0;
    const quint64 request = nextRequestId();
    watch(reply, request, sent, m_settings.retries);
    return request;
}

QModbusReply *ModbusLink::transmit(const Sent &sent)
{
    QModbusReply *reply = nullptr;
    if (sent.purpose == Purpose::Command) {
        reply = m_client->sendRawRequest(sent.pdu, sent.devId);
    } else {
        const auto table = sent.pdu.functionCode() == QModbusPdu::ReadInputRegisters ? QModbusDataUnit::InputRegisters
                                                                                    : QModbusDataUnit::HoldingRegisters;
        const QModbusDataUnit unit(table, sent.expected.addr, QVector<quint16>(sent.expected.registerCount, 0));
        reply = m_client->sendReadRequest(unit, sent.devId);
    }
    if (reply)
        traceRequest(sent.devId, sent.pdu);
    return reply;
}

void ModbusLink::watch(QModbusReply *reply, quint64 request, const Sent &sent, int retriesLeft)
{
    m_pending = reply;
    if (m_lineWatch)
        m_lineWatch->requestSent();
    connect(reply, &QModbusReply::finished, this,
            [this, reply, request, sent, retriesLeft] { onFinished(reply, request, sent, retriesLeft); });
    // A broadcast (server address 0) comes back already finished and never emits finished().
    if (reply->isFinished())
        QMetaObject::invokeMethod(reply, &QModbusReply::finished, Qt::QueuedConnection);
}

void ModbusLink::onFinished(QModbusReply *reply, quint64 request, const Sent &sent, int retriesLeft)
{
    reply->deleteLater();
    if (reply == m_pending) {
        m_pending = nullptr;
        if (m_lineWatch)
            m_lineWatch->answerSettled();
    }
    traceAnswer(*reply);
    if (reply->error() == QModbusDevice::TimeoutError && retriesLeft > 0) {
        if (QModbusReply *again = transmit(sent)) {
            watch(again, request, sent, retriesLeft - 1);
            return;
        }
    }
    const QString why = failure(*reply, sent.expected);
    m_lateAnswerPossible = !why.isEmpty()
                           && (reply->error() == QModbusDevice::TimeoutError || reply->error() == QModbusDevice::NoError);
    if (sent.purpose == Purpose::Command) {
        emit commandFinished(request, why);
        return;
    }
    emitReadOutcome(*reply, request, sent, why);
    if (why.isEmpty())
        return;
    if (reply->error() != QModbusDevice::NoError)
        qDebug().noquote() << why << QStringLiteral("(%1)").arg(exceptionCode(*reply));
    else
        qDebug().noquote() << why;
}

void ModbusLink::emitReadOutcome(const QModbusReply &reply, quint64 request, const Sent &sent, const QString &why)
{
    const QVector<quint32> words = why.isEmpty() ? rawWords(reply.result(), sent.variables, m_settings.wordOrder) : QVector<quint32>();
    if (sent.purpose == Purpose::BlockRead)
        emit blockReadFinished(request, words, why, reply.error() == QModbusDevice::ProtocolError);
    else
        emit readFinished(request, words.value(0), why);
}

void ModbusLink::traceRequest(int devId, const QModbusPdu &pdu)
{
    if (tracing())
        emit frameTraced(true, char(devId) + QByteArray(1, char(pdu.functionCode())) + pdu.data());
}

void ModbusLink::traceAnswer(const QModbusReply &reply)
{
    // Only an answer that came carries bytes.
    const bool answered = reply.error() == QModbusDevice::NoError || reply.error() == QModbusDevice::ProtocolError;
    if (!tracing() || !answered || reply.type() == QModbusReply::Broadcast)
        return;
    // Qt 5.15 keeps an exception's function code sign-extended, an invalid enumeration
    // value that is not read here; Qt's own stream operator writes the byte as it came.
    QByteArray pdu;
    QDataStream stream(&pdu, QIODevice::WriteOnly);
    stream << reply.rawResult();
    emit frameTraced(false, char(reply.serverAddress()) + pdu);
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
    // A connection the server is closing takes no request any more: it is lost already.
    const bool closingUnasked = state == QModbusDevice::ClosingState && m_up && !m_closing;
    if (state != QModbusDevice::UnconnectedState && !closingUnasked)
        return;
    const bool wasUp = m_up;
    m_up = false;
    // The end of a connection already reported lost while it was closing.
    const bool reported = m_lostWhileClosing;
    m_lostWhileClosing = closingUnasked;
    if (m_closing || reported)
        return;
    // The TCP client accepts connectDevice() before the server answers; a refused or
    // closed connection only shows up here, also between two requests.
    if (!wasUp) {
        emit refused();
        return;
    }
    const QString reason = openFailureReason();
    emit lost(reason.isEmpty() ? QStringLiteral("the server closed the connection") : reason);
}
