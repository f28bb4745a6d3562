#include "registerprobe.h"

#include "serialframing.h"
#include "serialportframing.h"

#include <QModbusReply>
#include <QModbusRtuSerialMaster>
#include <QModbusTcpClient>
#include <QVariant>

namespace {

// A Modbus read holding/input registers request carries at most 125 registers.
constexpr int MaxRegistersPerRead = 125;
constexpr int RegisterSpace = 0x10000;

QString exceptionName(int code)
{
    switch (code) {
    case 0x01: return QStringLiteral("illegal function");
    case 0x02: return QStringLiteral("illegal data address");
    case 0x03: return QStringLiteral("illegal data value");
    case 0x04: return QStringLiteral("server device failure");
    case 0x05: return QStringLiteral("acknowledge");
    case 0x06: return QStringLiteral("server device busy");
    case 0x08: return QStringLiteral("memory parity error");
    case 0x0A: return QStringLiteral("gateway path unavailable");
    case 0x0B: return QStringLiteral("gateway target device failed to respond");
    default: return QStringLiteral("unknown exception");
    }
}

QString rangeRefusal(int firstRegister, int count)
{
    if (count < 1 || count > MaxRegistersPerRead)
        return QStringLiteral("a read takes 1 to %1 registers, not %2").arg(MaxRegistersPerRead).arg(count);
    if (firstRegister < 0 || firstRegister + count > RegisterSpace)
        return QStringLiteral("registers %1 to %2 are not all within 0 to 65535").arg(firstRegister).arg(firstRegister + count - 1);
    return QString();
}

} // namespace

class RegisterProbePrivate
{
public:
    struct PendingRead
    {
        int firstRegister = 0;
        int count = 0;
        bool inputRegisters = false;
    };

    explicit RegisterProbePrivate(RegisterProbe *probe)
        : q(probe)
    {
    }

    QModbusClient *createClient() const;
    void configureSerial(QModbusClient *client) const;
    bool open();
    void send();
    void onStateChanged(QModbusDevice::State state);
    void onConnectError(QModbusDevice::Error error);
    void onFinished(QModbusReply *reply);
    QString replyFailure(const QModbusReply *reply) const;
    void fail(const QString &reason);
    QString linkName() const;

    RegisterProbe *q;
    ScanCandidate device;
    QString serialPort;
    QString tcpHost;
    int tcpPort = 502;
    int timeoutMs = 1000;
    QModbusClient *client = nullptr;
    QModbusReply *reply = nullptr;
    bool waiting = false;
    PendingRead pending;
};

QModbusClient *RegisterProbePrivate::createClient() const
{
    QModbusClient *created = nullptr;
    if (device.protocol == ScanPlan::Protocol::ModbusTcp) {
        created = new QModbusTcpClient(q);
        created->setConnectionParameter(QModbusDevice::NetworkAddressParameter, tcpHost);
        created->setConnectionParameter(QModbusDevice::NetworkPortParameter, tcpPort);
    } else {
        created = new QModbusRtuSerialMaster(q);
        configureSerial(created);
    }
    created->setTimeout(timeoutMs);
    created->setNumberOfRetries(0);
    return created;
}

void RegisterProbePrivate::configureSerial(QModbusClient *serial) const
{
    SerialFraming framing;
    SerialFraming::parityFromName(device.parity.toStdString(), &framing.parity);
    framing.dataBits = device.dataBits;
    framing.stopBits = device.stopBits;
    serial->setConnectionParameter(QModbusDevice::SerialPortNameParameter, serialPort);
    serial->setConnectionParameter(QModbusDevice::SerialBaudRateParameter, device.baudRate);
    serial->setConnectionParameter(QModbusDevice::SerialParityParameter, SerialPortFraming::parity(framing));
    serial->setConnectionParameter(QModbusDevice::SerialDataBitsParameter, SerialPortFraming::dataBits(framing));
    serial->setConnectionParameter(QModbusDevice::SerialStopBitsParameter, SerialPortFraming::stopBits(framing));
}

QString RegisterProbePrivate::linkName() const
{
    return device.protocol == ScanPlan::Protocol::ModbusTcp ? QStringLiteral("%1:%2").arg(tcpHost).arg(tcpPort)
                                                            : serialPort;
}

bool RegisterProbePrivate::open()
{
    if (!client) {
        client = createClient();
        QObject::connect(client, &QModbusDevice::stateChanged, q, [this](QModbusDevice::State state) {
            onStateChanged(state);
        });
        QObject::connect(client, &QModbusDevice::errorOccurred, q, [this](QModbusDevice::Error error) {
            onConnectError(error);
        });
    }
    if (client->state() != QModbusDevice::UnconnectedState)
        return true;
    if (!client->connectDevice()) {
        // The client may have said so already through errorOccurred.
        if (waiting)
            fail(QStringLiteral("cannot open %1: %2").arg(linkName(), client->errorString()));
        return false;
    }
    return true;
}

void RegisterProbePrivate::onStateChanged(QModbusDevice::State state)
{
    if (state == QModbusDevice::ConnectedState && waiting && !reply)
        send();
}

void RegisterProbePrivate::onConnectError(QModbusDevice::Error error)
{
    // Errors of a connected link come with the reply they hit.
    if (error == QModbusDevice::ConnectionError && waiting && !reply)
        fail(QStringLiteral("cannot open %1: %2").arg(linkName(), client->errorString()));
}

void RegisterProbePrivate::send()
{
    const QModbusDataUnit unit(pending.inputRegisters ? QModbusDataUnit::InputRegisters
                                                      : QModbusDataUnit::HoldingRegisters,
                               pending.firstRegister, quint16(pending.count));
    reply = client->sendReadRequest(unit, device.address);
    if (!reply) {
        fail(QStringLiteral("the read could not be sent: %1").arg(client->errorString()));
        return;
    }
    QModbusReply *sent = reply;
    QObject::connect(sent, &QModbusReply::finished, q, [this, sent] { onFinished(sent); });
}

void RegisterProbePrivate::onFinished(QModbusReply *finished)
{
    finished->deleteLater();
    if (finished != reply)
        return;
    reply = nullptr;
    if (finished->error() != QModbusDevice::NoError) {
        fail(replyFailure(finished));
        return;
    }
    waiting = false;
    emit q->registersRead(pending.firstRegister, finished->result().values());
}

QString RegisterProbePrivate::replyFailure(const QModbusReply *failed) const
{
    if (failed->error() == QModbusDevice::TimeoutError)
        return QStringLiteral("no answer within %1 ms").arg(timeoutMs);
    // The exception code is the one data byte of the answer.
    if (failed->error() == QModbusDevice::ProtocolError && failed->rawResult().dataSize() > 0) {
        const int code = quint8(failed->rawResult().data().at(0));
        return QStringLiteral("the device answered with exception %1 (%2)").arg(code).arg(exceptionName(code));
    }
    return failed->errorString();
}

void RegisterProbePrivate::fail(const QString &reason)
{
    waiting = false;
    emit q->failed(reason);
}

RegisterProbe::RegisterProbe(QObject *parent)
    : QObject(parent)
    , d(new RegisterProbePrivate(this))
{
}

RegisterProbe::~RegisterProbe()
{
    close();
}

void RegisterProbe::setLink(const ScanCandidate &device, const QString &serialPort, const QString &tcpHost, int tcpPort)
{
    close();
    d->device = device;
    d->serialPort = serialPort;
    d->tcpHost = tcpHost;
    d->tcpPort = tcpPort;
}

void RegisterProbe::setTimeoutMs(int timeoutMs)
{
    d->timeoutMs = timeoutMs;
    if (d->client)
        d->client->setTimeout(timeoutMs);
}

void RegisterProbe::read(int firstRegister, int count, bool inputRegisters)
{
    const QString refusal = d->waiting ? QStringLiteral("a read is still waiting for its answer")
                                       : rangeRefusal(firstRegister, count);
    if (!refusal.isEmpty()) {
        emit failed(refusal);
        return;
    }
    d->pending = {firstRegister, count, inputRegisters};
    d->waiting = true;
    if (!d->open())
        return;
    if (d->client->state() == QModbusDevice::ConnectedState)
        d->send();
}

void RegisterProbe::close()
{
    d->waiting = false;
    d->reply = nullptr;
    if (!d->client)
        return;
    // The client goes later: a reply it still owns may be finishing in this very call chain.
    d->client->disconnect(this);
    d->client->disconnectDevice();
    d->client->deleteLater();
    d->client = nullptr;
}
