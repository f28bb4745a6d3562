#include "linkoptionsdialog.h"
#include "ui_linkoptionsdialog.h"

#include "velmordevicemodel.h"

namespace {

// A minute between cycles or requests is as slow as a poll is wanted.
constexpr int longestPauseMs = 600000;
// The model's 0 is the protocol's own timeout; the box shows it as its lowest step, below
// the shortest timeout one can set.
constexpr int protocolTimeoutStep = VelmorDeviceModel::MinResponseTimeoutMs - 1;

int timeoutStep(int timeoutMs)
{
    return timeoutMs > 0 ? timeoutMs : protocolTimeoutStep;
}

int timeoutOfStep(int step)
{
    return step == protocolTimeoutStep ? 0 : step;
}

void selectData(QComboBox *combo, const QVariant &value)
{
    const int index = combo->findData(value);
    if (index >= 0)
        combo->setCurrentIndex(index);
}

} // namespace

LinkOptionsDialog::LinkOptionsDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::LinkOptionsDialog>())
{
    m_ui->setupUi(this);
    setUpRanges();
}

LinkOptionsDialog::~LinkOptionsDialog() = default;

void LinkOptionsDialog::load(const VelmorDeviceModel &device)
{
    m_ui->spinTimeout->setValue(timeoutStep(device.responseTimeoutMs()));
    m_ui->spinRetries->setValue(device.retries());
    m_ui->spinBlock->setValue(device.blockRegisters());
    m_ui->spinGap->setValue(device.gapRegisters());
    m_ui->spinQueryDelay->setValue(device.interQueryDelay());
    m_ui->spinUpdateDelay->setValue(device.interUpdateDelay());
    selectData(m_ui->comboWordOrder, device.wordOrder());
    selectData(m_ui->comboParity, device.parity());
    selectData(m_ui->comboStopBits, device.stopBits());
    selectData(m_ui->comboDataBits, device.dataBits());
    enableWhatApplies(device);
}

void LinkOptionsDialog::apply(VelmorDeviceModel *device) const
{
    device->setResponseTimeoutMs(timeoutOfStep(m_ui->spinTimeout->value()));
    device->setRetries(m_ui->spinRetries->value());
    device->setBlockRegisters(m_ui->spinBlock->value());
    device->setGapRegisters(m_ui->spinGap->value());
    device->setInterQueryDelay(m_ui->spinQueryDelay->value());
    device->setInterUpdateDelay(m_ui->spinUpdateDelay->value());
    device->setWordOrder(m_ui->comboWordOrder->currentData().toString());
    device->setParity(m_ui->comboParity->currentData().toString());
    device->setStopBits(m_ui->comboStopBits->currentData().toInt());
    device->setDataBits(m_ui->comboDataBits->currentData().toInt());
}

void LinkOptionsDialog::setUpRanges()
{
    m_ui->spinTimeout->setRange(protocolTimeoutStep, VelmorDeviceModel::MaxResponseTimeoutMs);
    m_ui->spinTimeout->setSpecialValueText(QStringLiteral("как у протокола (Modbus 1000, Velmorbus 200)"));
    m_ui->spinRetries->setRange(0, VelmorDeviceModel::MaxRetries);
    m_ui->spinBlock->setRange(0, VelmorDeviceModel::MaxBlockRegisters);
    m_ui->spinGap->setRange(0, VelmorDeviceModel::MaxGapRegisters);
    m_ui->spinQueryDelay->setRange(0, longestPauseMs);
    m_ui->spinUpdateDelay->setRange(0, longestPauseMs);
    for (const QString &order : VelmorDeviceModel::wordOrderNames())
        m_ui->comboWordOrder->addItem(order, order);
    m_ui->comboParity->addItem(QStringLiteral("нет"), QStringLiteral("none"));
    m_ui->comboParity->addItem(QStringLiteral("чётность (even)"), QStringLiteral("even"));
    m_ui->comboParity->addItem(QStringLiteral("нечётность (odd)"), QStringLiteral("odd"));
    for (int stopBits : {1, 2})
        m_ui->comboStopBits->addItem(QString::number(stopBits), stopBits);
    for (int dataBits : {8, 7})
        m_ui->comboDataBits->addItem(QString::number(dataBits), dataBits);
}

void LinkOptionsDialog::enableWhatApplies(const VelmorDeviceModel &device)
{
    // Block reads and word order are Modbus register matters; framing is the serial line's.
    const bool registers = device.readsBlocks();
    const bool serial = device.transport() == VelmorDeviceModel::SerialTransport;
    for (QWidget *field : {static_cast<QWidget *>(m_ui->spinBlock), static_cast<QWidget *>(m_ui->spinGap),
                           static_cast<QWidget *>(m_ui->comboWordOrder)})
        field->setEnabled(registers);
    for (QWidget *field : {m_ui->comboParity, m_ui->comboStopBits, m_ui->comboDataBits})
        field->setEnabled(serial);
}
