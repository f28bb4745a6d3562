#include "proberun.h"

#include "descriptionfile.h"
#include "exitcode.h"
#include "registertable.h"
#include "velmordevicemodel.h"

#include <QTextStream>

#include <cstdio>

namespace {

// Without a description file: a plain RS-485 line at 9600 8N1, device 1, TCP port 502.
constexpr int DefaultBaudRate = 9600;
constexpr int DefaultDevId = 1;
constexpr int DefaultTcpPort = 502;
constexpr int DefaultTimeoutMs = 1000;

// Where the probe reads: the file's link or the defaults, with the options over them.
struct ProbeLink
{
    ScanCandidate device;
    QString serialPort;
    QString tcpHost;
    int tcpPort = DefaultTcpPort;
    int timeoutMs = DefaultTimeoutMs;
};

ProbeLink defaultLink(const Options &options)
{
    ProbeLink link;
    link.device.protocol = options.tcpHost.isEmpty() ? ScanPlan::Protocol::ModbusRtu : ScanPlan::Protocol::ModbusTcp;
    link.device.address = DefaultDevId;
    link.device.baudRate = DefaultBaudRate;
    link.device.parity = QStringLiteral("none");
    return link;
}

bool linkFromFile(const QString &fileName, ProbeLink *link, QString *message)
{
    DescriptionFile file;
    if (!file.load(fileName)) {
        *message = QStringLiteral("%1 does not load").arg(fileName);
        return false;
    }
    const int protocol = file.protocol();
    if (protocol != VelmorDeviceModel::ModbusRtu && protocol != VelmorDeviceModel::ModbusTcp) {
        *message = QStringLiteral("%1: --probe reads Modbus registers only, not %2").arg(fileName, file.protocolName());
        return false;
    }
    LinkSettings settings = file.linkSettings();
    const bool serial = protocol == VelmorDeviceModel::ModbusRtu;
    if ((serial && !file.readFraming(&settings)) || !file.readTuning(&settings)) {
        *message = QStringLiteral("%1 does not load").arg(fileName);
        return false;
    }
    link->device.protocol = serial ? ScanPlan::Protocol::ModbusRtu : ScanPlan::Protocol::ModbusTcp;
    link->device.address = settings.devId;
    link->device.baudRate = settings.baudRate;
    link->device.parity = QString::fromStdString(SerialFraming::parityName(settings.framing.parity));
    link->device.dataBits = settings.framing.dataBits;
    link->device.stopBits = settings.framing.stopBits;
    link->serialPort = settings.serialPort;
    link->tcpHost = settings.tcpHost;
    link->tcpPort = settings.tcpPort;
    if (settings.responseTimeoutMs > 0)
        link->timeoutMs = settings.responseTimeoutMs;
    return true;
}

// Negative numbers and empty texts in the options keep what the link says.
void applyOptions(const Options &options, ProbeLink *link)
{
    const auto take = [](int option, int *setting) {
        if (option >= 0)
            *setting = option;
    };
    take(options.devId, &link->device.address);
    take(options.baudRate, &link->device.baudRate);
    take(options.dataBits, &link->device.dataBits);
    take(options.stopBits, &link->device.stopBits);
    take(options.tcpPort, &link->tcpPort);
    take(options.responseTimeoutMs, &link->timeoutMs);
    if (!options.parity.isEmpty())
        link->device.parity = options.parity;
    if (!options.serialPort.isEmpty())
        link->serialPort = options.serialPort;
    if (!options.tcpHost.isEmpty())
        link->tcpHost = options.tcpHost;
}

} // namespace

ProbeRun::ProbeRun(const Options &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
{
    connect(&m_probe, &RegisterProbe::registersRead, this, &ProbeRun::onRegistersRead);
    connect(&m_probe, &RegisterProbe::failed, this, &ProbeRun::onFailed);
}

void ProbeRun::start()
{
    if (setUpLink())
        m_probe.read(m_options.probeFirstRegister, m_options.probeCount, m_options.probeInputRegisters);
}

bool ProbeRun::setUpLink()
{
    ProbeLink link = defaultLink(m_options);
    QString message;
    if (!m_options.descriptionFiles.isEmpty() && !linkFromFile(m_options.descriptionFiles.first(), &link, &message)) {
        finish(message, ExitUsage);
        return false;
    }
    applyOptions(m_options, &link);
    m_probe.setLink(link.device, link.serialPort, link.tcpHost, link.tcpPort);
    m_probe.setTimeoutMs(link.timeoutMs);
    return true;
}

void ProbeRun::onRegistersRead(int firstRegister, const QVector<quint16> &words)
{
    QTextStream out(stdout);
    RegisterTable::print(out, firstRegister, words);
    finish(QString(), ExitAllGood);
}

void ProbeRun::onFailed(const QString &reason)
{
    const int first = m_options.probeFirstRegister;
    const QString registers = m_options.probeCount == 1
                                  ? QStringLiteral("register %1").arg(first)
                                  : QStringLiteral("registers %1 to %2").arg(first).arg(first + m_options.probeCount - 1);
    finish(QStringLiteral("reading %1 failed: %2").arg(registers, reason), ExitSomethingFailed);
}

void ProbeRun::finish(const QString &error, int exitCode)
{
    if (!error.isEmpty())
        std::fputs(qPrintable(QStringLiteral("velmor-cli: %1\n").arg(error)), stderr);
    m_probe.close();
    emit done(exitCode);
}
