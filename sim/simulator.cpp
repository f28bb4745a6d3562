#include "simulator.h"

#include "handledmodbusserver.h"
#include "linekeeper.h"
#include "modbusrequesthandler.h"
#include "modbustcpserver.h"
#include "ptydevice.h"
#include "ptyrelay.h"
#include "serialline.h"
#include "velmorbusresponder.h"
#include "velmorbusslave.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QModbusRtuSerialSlave>
#include <QRandomGenerator>
#include <QSerialPort>
#include <QStringList>

namespace {

quint32 chooseSeed(const SimOptions &options)
{
    return options.hasSeed ? options.seed : QRandomGenerator::global()->generate();
}

// The one address a host name or address stands for: never all of the computer's
// interfaces unless asked for by address. IPv4 first, as the tools' default host is.
bool resolveListenAddress(const QString &host, QHostAddress *address, QString *error)
{
    const QHostInfo info = QHostInfo::fromName(host);
    const QList<QHostAddress> addresses = info.addresses();
    if (info.error() != QHostInfo::NoError || addresses.isEmpty()) {
        *error = info.error() != QHostInfo::NoError ? info.errorString() : QStringLiteral("no address");
        return false;
    }
    *address = addresses.constFirst();
    for (const QHostAddress &candidate : addresses) {
        if (candidate.protocol() == QAbstractSocket::IPv4Protocol) {
            *address = candidate;
            break;
        }
    }
    return true;
}

} // namespace

Simulator::Simulator(const DeviceDescription &description, const SimOptions &options, QObject *parent)
    : QObject(parent)
    , m_description(description)
    , m_options(options)
    , m_store(description.variables, !options.isStatic)
    , m_faults(options.faultRate, options.faults, chooseSeed(options))
{
}

Simulator::~Simulator()
{
    if (m_modbusServer)
        m_modbusServer->disconnectDevice();
}

bool Simulator::start()
{
    if (!checkFaults())
        return false;
    m_logger.status(QStringLiteral("device \"%1\", %2, id %3, %4 variables")
                        .arg(m_description.device, m_description.protocolName)
                        .arg(m_description.id)
                        .arg(m_description.variables.size()));
    listVariables();
    switch (m_description.protocol) {
    case DeviceDescription::ModbusTcp:
        return startModbusTcp();
    case DeviceDescription::ModbusRtu:
        return startModbusRtu();
    case DeviceDescription::VelmorbusRtu:
        return startVelmorbus();
    }
    return false;
}

bool Simulator::checkFaults()
{
    for (FaultInjector::Fault fault : qAsConst(m_options.faults)) {
        if ((fault == FaultInjector::Exception) != m_description.isModbus())
            return fail(QStringLiteral("fault %1 does not apply to %2")
                            .arg(FaultInjector::name(fault), m_description.protocolName));
    }
    if (m_options.faultRate > 0) {
        QStringList names;
        for (FaultInjector::Fault fault : qAsConst(m_options.faults))
            names.append(FaultInjector::name(fault));
        m_logger.status(QStringLiteral("faults: %1 of the answers, from %2").arg(m_options.faultRate).arg(names.join(',')));
    }
    return true;
}

void Simulator::listVariables()
{
    for (int i = 0; i < m_store.count(); ++i) {
        const SimVariable &variable = m_store.variable(i);
        QString line = QStringLiteral("  %1 addr=0x%2 %3").arg(variable.name).arg(variable.addr, 4, 16, QLatin1Char('0'))
                           .arg(variable.type.isEmpty() ? QStringLiteral("untyped") : variable.type);
        if (variable.input && m_description.isModbus())
            line += QStringLiteral(" input");
        if (m_description.isModbus() && variable.wordOrder.name() != QLatin1String("ABCD"))
            line += QStringLiteral(" wordorder=") + variable.wordOrder.name();
        if (variable.bitfield)
            line += QStringLiteral(" bitfield");
        line += variable.rw ? QStringLiteral(" rw") : QStringLiteral(" ro");
        line += QStringLiteral(" value=") + m_store.valueText(i);
        if (!variable.desc.isEmpty())
            line += QStringLiteral(" \"%1\"").arg(variable.desc);
        m_logger.status(line);
    }
}

bool Simulator::startModbusTcp()
{
    const QString host = m_options.listenHost.isEmpty() ? m_description.tcpHost : m_options.listenHost;
    const int port = m_options.listenHost.isEmpty() ? m_description.tcpPort : m_options.listenPort;
    const QString where = QStringLiteral("%1:%2").arg(host).arg(port);
    QHostAddress address;
    QString error;
    if (!resolveListenAddress(host, &address, &error))
        return fail(QStringLiteral("cannot serve %1: %2").arg(where, error));
    makeModbusHandler();
    m_modbusTcpServer = new ModbusTcpServer(m_modbusHandler.get(), quint8(m_description.id), &m_logger, this);
    if (!m_modbusTcpServer->listen(address, quint16(port)))
        return fail(QStringLiteral("cannot serve %1: %2").arg(where, m_modbusTcpServer->errorString()));
    const bool named = QHostAddress(host).isNull();
    m_logger.status(QStringLiteral("listening on ") + where
                    + (named ? QStringLiteral(" (%1)").arg(address.toString()) : QString()));
    return true;
}

bool Simulator::startModbusRtu()
{
    QString portName = serialPortName();
    if (!m_options.ptyLink.isEmpty()) {
        m_ptyRelay = new PtyRelay(&m_logger, this);
        if (!m_ptyRelay->create(m_options.ptyLink))
            return fail(m_ptyRelay->errorString());
        portName = m_ptyRelay->innerPath();
    }
    makeModbusHandler();
    auto *server = new HandledModbusServer<QModbusRtuSerialSlave>(m_modbusHandler.get(), this);
    m_modbusServer = server;
    server->setServerAddress(m_description.id);
    server->setConnectionParameter(QModbusDevice::SerialPortNameParameter, portName);
    server->setConnectionParameter(QModbusDevice::SerialBaudRateParameter, m_description.baudRate);
    server->setConnectionParameter(QModbusDevice::SerialDataBitsParameter, m_description.dataBits);
    server->setConnectionParameter(QModbusDevice::SerialParityParameter, m_description.parity);
    server->setConnectionParameter(QModbusDevice::SerialStopBitsParameter, m_description.stopBits);
    const QString where = m_ptyRelay ? QStringLiteral("%1 (pseudo-terminal %2)").arg(m_options.ptyLink, m_ptyRelay->outerPath())
                                     : portName;
    if (!server->connectDevice())
        return fail(QStringLiteral("cannot serve %1: %2").arg(where, server->errorString()));
    keepModbusServer(where);
    m_logger.status(QStringLiteral("serving ") + where);
    return true;
}

void Simulator::makeModbusHandler()
{
    m_modbusHandler = std::make_unique<ModbusRequestHandler>(&m_store, &m_faults, &m_logger);
    m_modbusHandler->setExceptionCode(m_options.exceptionCode);
    m_modbusHandler->setAnswerDelay(m_options.delayMs);
    m_modbusHandler->setUnusedRegistersReadZero(m_options.unusedRegistersReadZero);
}

void Simulator::keepModbusServer(const QString &where)
{
    QModbusServer *server = m_modbusServer;
    m_lineKeeper = new LineKeeper(
        where, [server]() { server->disconnectDevice(); }, [server]() { return server->connectDevice(); }, &m_logger,
        this);
    connect(server, &QModbusDevice::errorOccurred, this, [this, server](QModbusDevice::Error error) {
        if (error == QModbusDevice::ReadError || error == QModbusDevice::ConnectionError)
            m_lineKeeper->lineFailed(server->errorString());
    });
}

bool Simulator::startVelmorbus()
{
    if (!openSerialLine())
        return false;
    m_velmorbusResponder = std::make_unique<VelmorbusResponder>(&m_store, &m_clock);
    QIODevice *line = m_pty ? static_cast<QIODevice *>(m_pty) : m_serialPort;
    m_velmorbusSlave = new VelmorbusSlave(line, quint8(m_description.id), m_velmorbusResponder.get(), &m_faults,
                                          &m_logger, this);
    m_velmorbusSlave->setAnswerDelay(m_options.delayMs);
    m_logger.status(QStringLiteral("serving ") + servedPath());
    return true;
}

bool Simulator::openSerialLine()
{
    if (!m_options.ptyLink.isEmpty()) {
        m_pty = new PtyDevice(this);
        if (!m_pty->create(m_options.ptyLink))
            return fail(m_pty->errorString());
        return true;
    }
    m_serialPort = new QSerialPort(this);
    m_serialPort->setPortName(serialPortName());
    m_serialPort->setBaudRate(m_description.baudRate);
    m_serialPort->setDataBits(m_description.dataBits);
    m_serialPort->setParity(m_description.parity);
    m_serialPort->setStopBits(m_description.stopBits);
    if (!m_serialPort->open(QIODevice::ReadWrite))
        return fail(QStringLiteral("cannot open serial port %1: %2").arg(serialPortName(), m_serialPort->errorString()));
    m_serialPort->clear();
    keepSerialPort();
    return true;
}

void Simulator::keepSerialPort()
{
    QSerialPort *port = m_serialPort;
    m_lineKeeper = new LineKeeper(
        serialPortName(), [port]() { port->close(); }, [port]() { return port->open(QIODevice::ReadWrite); },
        &m_logger, this);
    connect(port, &QSerialPort::errorOccurred, this, [this, port](QSerialPort::SerialPortError error) {
        // A read error on a live line (input flushed after its notification) leaves it usable;
        // after a resource error Qt reads no more.
        const bool lost = error == QSerialPort::ResourceError
            || (error == QSerialPort::ReadError && SerialLine::hungUp(*port));
        if (lost && port->isOpen())
            m_lineKeeper->lineFailed(port->errorString());
    });
}

QString Simulator::servedPath() const
{
    if (m_pty)
        return QStringLiteral("%1 (pseudo-terminal %2)").arg(m_options.ptyLink, m_pty->slavePath());
    return serialPortName();
}

QString Simulator::serialPortName() const
{
    return m_options.serialPort.isEmpty() ? m_description.serialPort : m_options.serialPort;
}

bool Simulator::fail(const QString &message)
{
    m_errorString = message;
    return false;
}
