#include "modbusscanprobe.h"

#include "serialportframing.h"

#include <QModbusRtuSerialMaster>
#include <QModbusTcpClient>
#include <QVariant>

namespace {

// A host that drops the connection attempt silently would otherwise hold the scan for the
// system's own connect timeout, minutes.
const int connectTimeoutMs = 5000;

} // namespace

ModbusScanProbe::ModbusScanProbe(const ScanPlan &plan, QObject *parent)
    : ScanProbe(parent)
    , m_plan(plan)
{
    if (plan.isTcp()) {
        m_client = new QModbusTcpClient(this);
        m_client->setConnectionParameter(QModbusDevice::NetworkAddressParameter, plan.tcpHost);
        m_client->setConnectionParameter(QModbusDevice::NetworkPortParameter, plan.tcpPort);
    } else {
        m_client = new QModbusRtuSerialMaster(this);
        m_client->setConnectionParameter(QModbusDevice::SerialPortNameParameter, plan.serialPort);
    }
    m_client->setTimeout(plan.timeoutMs);
    m_client->setNumberOfRetries(0);
    connect(m_client, &QModbusDevice::stateChanged, this, &ModbusScanProbe::onStateChanged);
    m_connectTimer.setSingleShot(true);
    m_connectTimer.setInterval(connectTimeoutMs);
    connect(&m_connectTimer, &QTimer::timeout, this, [this] {
        m_waitingForConnection = false;
        emit lineFailed(QStringLiteral("no connection to %1:%2 within %3 s")
                            .arg(m_plan.tcpHost).arg(m_plan.tcpPort).arg(connectTimeoutMs / 1000));
    });
}

ModbusScanProbe::~ModbusScanProbe()
{
    abandon();
}

bool ModbusScanProbe::open(const ScanCandidate &line, QString *reason)
{
    if (!m_plan.isTcp())
        configureSerial(line);
    // A TCP connection that is refused at once is already back in the unconnected state.
    if (!m_client->connectDevice() || m_client->state() == QModbusDevice::UnconnectedState) {
        *reason = m_client->errorString();
        return false;
    }
    return true;
}

void ModbusScanProbe::configureSerial(const ScanCandidate &line)
{
    const SerialFraming framing = framingOf(line);
    m_client->setConnectionParameter(QModbusDevice::SerialBaudRateParameter, line.baudRate);
    m_client->setConnectionParameter(QModbusDevice::SerialParityParameter, SerialPortFraming::parity(framing));
    m_client->setConnectionParameter(QModbusDevice::SerialDataBitsParameter, SerialPortFraming::dataBits(framing));
    m_client->setConnectionParameter(QModbusDevice::SerialStopBitsParameter, SerialPortFraming::stopBits(framing));
}

void ModbusScanProbe::close()
{
    abandon();
    m_waitingForConnection = false;
    m_connectTimer.stop();
    m_closing = true;
    m_client->disconnectDevice();
    m_closing = false;
}

void ModbusScanProbe::ask(const ScanCandidate &candidate, int probeAddress)
{
    m_candidate = candidate;
    m_probeAddress = probeAddress;
    if (m_client->state() == QModbusDevice::ConnectingState) {
        m_waitingForConnection = true;
        m_connectTimer.start();
        return;
    }
    send();
}

void ModbusScanProbe::send()
{
    // Address 0 is the RTU broadcast: every device takes it, none answers.
    if (!m_plan.isTcp() && m_candidate.address == 0) {
        emit silent();
        return;
    }
    const auto table = m_plan.inputRegisters ? QModbusDataUnit::InputRegisters : QModbusDataUnit::HoldingRegisters;
    QModbusReply *reply = m_client->sendReadRequest(QModbusDataUnit(table, m_probeAddress, 1), m_candidate.address);
    if (!reply) {
        emit lineFailed(m_client->errorString());
        return;
    }
    if (reply->isFinished()) {
        reply->deleteLater();
        emit silent();
        return;
    }
    m_reply = reply;
    connect(reply, &QModbusReply::finished, this, &ModbusScanProbe::onFinished);
}

void ModbusScanProbe::abandon()
{
    if (!m_reply)
        return;
    disconnect(m_reply, nullptr, this, nullptr);
    connect(m_reply, &QModbusReply::finished, m_reply, &QObject::deleteLater);
    m_reply = nullptr;
}

void ModbusScanProbe::onStateChanged(QModbusDevice::State state)
{
    if (state == QModbusDevice::ConnectedState && m_waitingForConnection) {
        m_waitingForConnection = false;
        m_connectTimer.stop();
        send();
    } else if (state == QModbusDevice::UnconnectedState && !m_closing) {
        // The client goes back to unconnected before it names the socket's error.
        const QString reason = m_waitingForConnection
            ? QStringLiteral("cannot connect to %1:%2").arg(m_plan.tcpHost).arg(m_plan.tcpPort)
            : QStringLiteral("the connection was closed");
        m_waitingForConnection = false;
        m_connectTimer.stop();
        emit lineFailed(reason);
    }
}

void ModbusScanProbe::onFinished()
{
    QModbusReply *reply = m_reply;
    m_reply = nullptr;
    reply->deleteLater();
    // An exception answer is a device refusing the address: its code is the answer's one data
    // byte. Qt's own exceptionCode() reads the function code as an enumeration, which
    // Qt 5.15 holds sign-extended out of its range.
    const QByteArray exceptionData = reply->rawResult().data();
    const bool exception = reply->error() == QModbusDevice::ProtocolError && !exceptionData.isEmpty();
    if (reply->error() != QModbusDevice::NoError && !exception) {
        emit silent();
        return;
    }
    ScanFind find;
    find.candidate = m_candidate;
    find.probeAddress = m_probeAddress;
    find.exceptionCode = exception ? quint8(exceptionData.at(0)) : 0;
    if (!exception)
        find.words = reply->result().values();
    emit answered(find);
}
