#include "settingsdialog.h"
#include "ui_settingsdialog.h"

#include <QPushButton>
#include <QSerialPortInfo>

SettingsDialog::SettingsDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::SettingsDialog)
{
    m_ui->setupUi(this);
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports)
        m_ui->comboSerialPort->addItem(port.portName());
    // In the button row, so that the form keeps its fields as they are.
    QPushButton *more = m_ui->buttonBox->addButton(QStringLiteral("Дополнительно…"), QDialogButtonBox::ActionRole);
    more->setObjectName(QStringLiteral("buttonLinkOptions"));
    more->setToolTip(QStringLiteral("Тайм-аут, повторы, блочное чтение, паузы, порядок слов, чётность и стоповые биты"));
    connect(more, &QPushButton::clicked, this, &SettingsDialog::linkOptionsRequested);
}

SettingsDialog::~SettingsDialog()
{
    delete m_ui;
}

void SettingsDialog::setSerialMode(bool serial)
{
    if (serial)
        m_ui->groupTcp->setEnabled(false);
    else
        m_ui->groupRTU->setEnabled(false);
}

QString SettingsDialog::serialPort() const
{
    return m_ui->comboSerialPort->currentText();
}

void SettingsDialog::setSerialPort(const QString &serialPort)
{
    m_ui->comboSerialPort->setCurrentText(serialPort);
}

int SettingsDialog::baudRate() const
{
    return m_ui->comboBaudrate->currentText().toInt();
}

void SettingsDialog::setBaudRate(int baudRate)
{
    m_ui->comboBaudrate->setCurrentText(QString::number(baudRate));
}

QString SettingsDialog::tcpHost() const
{
    return m_ui->lineTcpHost->text();
}

void SettingsDialog::setTcpHost(const QString &tcpHost)
{
    m_ui->lineTcpHost->setText(tcpHost);
}

int SettingsDialog::tcpPort() const
{
    return m_ui->spiTcpPort->value();
}

void SettingsDialog::setTcpPort(int tcpPort)
{
    m_ui->spiTcpPort->setValue(tcpPort);
}

int SettingsDialog::devId() const
{
    return m_ui->spinDevId->value();
}

void SettingsDialog::setDevId(quint8 devId)
{
    m_ui->spinDevId->setValue(devId);
}
