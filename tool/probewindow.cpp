#include "probewindow.h"
#include "ui_probewindow.h"

#include "registerformats.h"
#include "registerprobe.h"
#include "velmordevicemodel.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QTime>

namespace {

constexpr int RepeatIntervalMs = 1000;
constexpr int LineCheckIntervalMs = 500;
// The probe's wait when the device keeps its protocol's default.
constexpr int DefaultTimeoutMs = 1000;

const QString busyLineNote = QStringLiteral("Отключите устройство, чтобы читать регистры напрямую");
const QString modbusOnlyNote = QStringLiteral("Регистры читаются напрямую только по Modbus; "
                                              "у этого устройства другой протокол");

// The Modbus protocol of the device; false for a protocol without registers to probe.
bool modbusProtocol(const VelmorDeviceModel *device, ScanPlan::Protocol *protocol)
{
    switch (device->devProto()) {
    case VelmorDeviceModel::ModbusRtu:
        *protocol = ScanPlan::Protocol::ModbusRtu;
        return true;
    case VelmorDeviceModel::ModbusTcp:
        *protocol = ScanPlan::Protocol::ModbusTcp;
        return true;
    default:
        return false;
    }
}

ScanCandidate candidateOf(const VelmorDeviceModel *device, ScanPlan::Protocol protocol)
{
    ScanCandidate candidate;
    candidate.protocol = protocol;
    candidate.address = device->devId();
    candidate.baudRate = device->baudRate();
    candidate.parity = device->parity();
    candidate.stopBits = device->stopBits();
    candidate.dataBits = device->dataBits();
    return candidate;
}

} // namespace

ProbeWindow::ProbeWindow(VelmorDeviceModel *device, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_ui(new Ui::ProbeWindow)
    , m_device(device)
    , m_probe(new RegisterProbe(this))
{
    m_ui->setupUi(this);
    setWindowTitle(QStringLiteral("Регистры — %1").arg(device->devName()));
    m_ui->tablePairs->setColumnCount(2 + RegisterFormats::orderNames().size());
    m_ui->tablePairs->setHorizontalHeaderLabels(QStringList {QStringLiteral("Регистры"), QStringLiteral("Тип")}
                                                + RegisterFormats::orderNames());
    for (QTableWidget *table : {m_ui->tableRegisters, m_ui->tablePairs})
        table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    m_repeatTimer.setSingleShot(true);
    m_repeatTimer.setInterval(RepeatIntervalMs);
    connect(&m_repeatTimer, &QTimer::timeout, this, &ProbeWindow::readOnce);
    connect(m_probe, &RegisterProbe::registersRead, this, &ProbeWindow::onRegistersRead);
    connect(m_probe, &RegisterProbe::failed, this, &ProbeWindow::onFailed);
    // The model tells of no connect or disconnect: a read checks the line first, and
    // while the device holds it the check is repeated until it lets go.
    m_lineCheckTimer.setInterval(LineCheckIntervalMs);
    connect(&m_lineCheckTimer, &QTimer::timeout, this, &ProbeWindow::updateAvailability);
    updateAvailability();
}

ProbeWindow::~ProbeWindow() = default;

void ProbeWindow::showEvent(QShowEvent *event)
{
    updateAvailability();
    QWidget::showEvent(event);
}

bool ProbeWindow::updateAvailability()
{
    ScanPlan::Protocol protocol;
    QString note;
    if (!modbusProtocol(m_device, &protocol))
        note = modbusOnlyNote;
    else if (m_device->connected() && m_device->transport() == VelmorDeviceModel::SerialTransport)
        note = busyLineNote;
    m_ui->labelNote->setText(note);
    m_ui->labelNote->setVisible(!note.isEmpty());
    const bool available = note.isEmpty();
    if (note == busyLineNote)
        m_lineCheckTimer.start();
    else
        m_lineCheckTimer.stop();
    m_ui->buttonRead->setEnabled(available);
    m_ui->buttonContinuous->setEnabled(available);
    if (!available) {
        m_ui->buttonContinuous->setChecked(false);
        m_probe->close();
        m_reading = false;
    }
    return available;
}

void ProbeWindow::on_buttonRead_clicked()
{
    readOnce();
}

void ProbeWindow::on_buttonContinuous_toggled(bool checked)
{
    if (checked)
        readOnce();
    else
        m_repeatTimer.stop();
}

void ProbeWindow::readOnce()
{
    ScanPlan::Protocol protocol;
    if (m_reading || !updateAvailability() || !modbusProtocol(m_device, &protocol))
        return;
    // The device's link settings may have changed since the last read.
    m_probe->setLink(candidateOf(m_device, protocol), m_device->serialPort(), m_device->tcpHost(), m_device->tcpPort());
    m_probe->setTimeoutMs(m_device->responseTimeoutMs() > 0 ? m_device->responseTimeoutMs() : DefaultTimeoutMs);
    m_reading = true;
    m_ui->labelStatus->setText(QStringLiteral("Чтение…"));
    m_probe->read(m_ui->spinFirstRegister->value(), m_ui->spinCount->value(), m_ui->checkInput->isChecked());
}

void ProbeWindow::onRegistersRead(int firstRegister, const QVector<quint16> &words)
{
    showRegisters(firstRegister, words);
    showPairs(firstRegister, words);
    m_ui->labelStatus->setText(QStringLiteral("Прочитано %1 в %2")
                                   .arg(words.size())
                                   .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))));
    readFinished();
}

void ProbeWindow::onFailed(const QString &reason)
{
    m_ui->labelStatus->setText(QStringLiteral("Чтение не удалось: %1").arg(reason));
    readFinished();
}

void ProbeWindow::readFinished()
{
    // The line is let go between reads, so that the device itself can connect.
    m_probe->close();
    m_reading = false;
    if (m_ui->buttonContinuous->isChecked())
        m_repeatTimer.start();
}

void ProbeWindow::showRegisters(int firstRegister, const QVector<quint16> &words)
{
    m_ui->tableRegisters->setRowCount(words.size());
    for (int index = 0; index < words.size(); ++index) {
        const RegisterFormats::Single formats = RegisterFormats::single(words.at(index));
        setRow(m_ui->tableRegisters, index,
               {QString::number(firstRegister + index), formats.hex, formats.unsignedText, formats.signedText,
                formats.binary});
    }
}

// A 32-bit value may start at any register, so every neighbouring pair is shown.
void ProbeWindow::showPairs(int firstRegister, const QVector<quint16> &words)
{
    const int pairs = qMax(0, words.size() - 1);
    m_ui->tablePairs->setRowCount(3 * pairs);
    for (int index = 0; index < pairs; ++index) {
        const RegisterFormats::Pair formats = RegisterFormats::pair(words.at(index), words.at(index + 1));
        const QString registers = QStringLiteral("%1-%2").arg(firstRegister + index).arg(firstRegister + index + 1);
        setRow(m_ui->tablePairs, 3 * index, QStringList {registers, QStringLiteral("int32")} + formats.int32);
        setRow(m_ui->tablePairs, 3 * index + 1, QStringList {registers, QStringLiteral("uint32")} + formats.uint32);
        setRow(m_ui->tablePairs, 3 * index + 2, QStringList {registers, QStringLiteral("float32")} + formats.float32);
    }
}

void ProbeWindow::setRow(QTableWidget *table, int row, const QStringList &cells)
{
    for (int column = 0; column < cells.size(); ++column)
        table->setItem(row, column, new QTableWidgetItem(cells.at(column)));
}
