#include "scandialog.h"
#include "ui_scandialog.h"

#include "descriptionskeleton.h"
#include "scanner.h"

#include <QFileDialog>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSerialPortInfo>

namespace {

enum FindColumn { ProtocolColumn, AddressColumn, LineColumn, AnswerColumn };

QString protocolName(ScanPlan::Protocol protocol)
{
    switch (protocol) {
    case ScanPlan::Protocol::ModbusRtu:
        return QStringLiteral("Modbus RTU");
    case ScanPlan::Protocol::VelmorbusRtu:
        return QStringLiteral("Velmorbus");
    case ScanPlan::Protocol::ModbusTcp:
        return QStringLiteral("Modbus TCP");
    }
    return QString();
}

QString lineOf(const ScanCandidate &candidate)
{
    if (candidate.protocol == ScanPlan::Protocol::ModbusTcp)
        return QString();
    return QStringLiteral("%1 %2%3%4")
        .arg(candidate.baudRate)
        .arg(candidate.dataBits)
        .arg(candidate.parity.left(1).toUpper())
        .arg(candidate.stopBits);
}

} // namespace

ScanDialog::ScanDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::ScanDialog>())
    , m_scanner(new Scanner(this))
{
    m_ui->setupUi(this);
    setUpFields();
    connect(m_scanner, &Scanner::candidateTried, this, &ScanDialog::showProgress);
    connect(m_scanner, &Scanner::found, this, &ScanDialog::addFind);
    connect(m_scanner, &Scanner::finished, this, &ScanDialog::scanEnded);
    connect(m_scanner, &Scanner::failed, this, [this](const QString &reason) {
        m_ui->labelState->setText(QStringLiteral("Поиск не начат: %1").arg(reason));
        setRunning(false);
    });
    connect(m_ui->tableFinds, &QTableWidget::itemSelectionChanged, this,
            [this] { m_ui->buttonOpenDevice->setEnabled(!m_ui->tableFinds->selectedItems().isEmpty()); });
}

ScanDialog::~ScanDialog() = default;

ScanPlan ScanDialog::plan() const
{
    ScanPlan plan;
    plan.protocols.clear();
    if (m_ui->checkModbusTcp->isChecked()) {
        plan.protocols.append(ScanPlan::Protocol::ModbusTcp);
    } else {
        if (m_ui->checkModbusRtu->isChecked())
            plan.protocols.append(ScanPlan::Protocol::ModbusRtu);
        if (m_ui->checkVelmorbus->isChecked())
            plan.protocols.append(ScanPlan::Protocol::VelmorbusRtu);
    }
    plan.serialPort = m_ui->comboPort->currentText();
    plan.tcpHost = m_ui->lineHost->text();
    plan.tcpPort = m_ui->spinTcpPort->value();
    plan.baudRates = baudRatesIn(m_ui->lineBaudRates->text());
    plan.parities.clear();
    if (m_ui->checkParityNone->isChecked())
        plan.parities.append(QStringLiteral("none"));
    if (m_ui->checkParityEven->isChecked())
        plan.parities.append(QStringLiteral("even"));
    if (m_ui->checkParityOdd->isChecked())
        plan.parities.append(QStringLiteral("odd"));
    plan.firstAddress = m_ui->spinFirstAddress->value();
    plan.lastAddress = m_ui->spinLastAddress->value();
    plan.probeAddress = m_ui->spinProbeRegister->value();
    plan.inputRegisters = m_ui->checkInput->isChecked();
    plan.timeoutMs = m_ui->spinTimeout->value();
    plan.stopAtFirstFind = m_ui->checkFirstOnly->isChecked();
    return plan;
}

QVector<ScanFind> ScanDialog::finds() const
{
    return m_scanner->finds();
}

bool ScanDialog::writeDescription(int row, const QString &fileName, QString *errorText) const
{
    const QVector<ScanFind> found = finds();
    if (row < 0 || row >= found.size()) {
        *errorText = QStringLiteral("Нет такой находки");
        return false;
    }
    QSaveFile file(fileName);
    const QByteArray text = DescriptionSkeleton::text(found.at(row), m_lastPlan);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        *errorText = QStringLiteral("Не удалось записать %1: %2").arg(fileName, file.errorString());
        return false;
    }
    return true;
}

void ScanDialog::on_buttonStart_clicked()
{
    m_ui->tableFinds->setRowCount(0);
    m_lastPlan = plan();
    if (m_lastPlan.protocols.isEmpty() || (!m_lastPlan.isTcp() && (m_lastPlan.baudRates.isEmpty() || m_lastPlan.parities.isEmpty()))) {
        m_ui->labelState->setText(QStringLiteral("Выберите протокол, хотя бы одну скорость и чётность"));
        return;
    }
    setRunning(true);
    m_ui->progress->setRange(0, m_lastPlan.candidateCount());
    m_ui->progress->setValue(0);
    if (!m_scanner->start(m_lastPlan))
        setRunning(false);
}

void ScanDialog::on_buttonStop_clicked()
{
    m_scanner->cancel();
}

void ScanDialog::on_buttonOpenDevice_clicked()
{
    const int row = m_ui->tableFinds->currentRow();
    const QString fileName = QFileDialog::getSaveFileName(this, QStringLiteral("Описание найденного устройства"),
                                                          QStringLiteral("found.yml"), QStringLiteral("*.yml"));
    if (fileName.isEmpty())
        return;
    QString errorText;
    if (!writeDescription(row, fileName, &errorText)) {
        m_ui->labelState->setText(errorText);
        return;
    }
    emit deviceDescribed(fileName);
}

void ScanDialog::setUpFields()
{
    const auto ports = QSerialPortInfo::availablePorts();
    m_ui->comboPort->setEditable(true);
    for (const QSerialPortInfo &port : ports)
        m_ui->comboPort->addItem(port.systemLocation());
    const ScanPlan defaults;
    QStringList rates;
    for (int rate : defaults.baudRates)
        rates.append(QString::number(rate));
    m_ui->lineBaudRates->setText(rates.join(QStringLiteral(", ")));
    m_ui->lineHost->setPlaceholderText(QStringLiteral("127.0.0.1"));
    m_ui->spinTcpPort->setRange(1, 65535);
    m_ui->spinTcpPort->setValue(defaults.tcpPort);
    m_ui->spinFirstAddress->setRange(1, 247);
    m_ui->spinFirstAddress->setValue(defaults.firstAddress);
    m_ui->spinLastAddress->setRange(1, 247);
    m_ui->spinLastAddress->setValue(defaults.lastAddress);
    m_ui->spinProbeRegister->setRange(0, 65535);
    m_ui->spinTimeout->setRange(10, 5000);
    m_ui->spinTimeout->setValue(defaults.timeoutMs);
    m_ui->checkModbusRtu->setChecked(true);
    m_ui->checkParityNone->setChecked(true);
    m_ui->checkParityEven->setChecked(true);
    m_ui->tableFinds->setColumnCount(AnswerColumn + 1);
    m_ui->tableFinds->setHorizontalHeaderLabels(
        {QStringLiteral("Протокол"), QStringLiteral("Адрес"), QStringLiteral("Линия"), QStringLiteral("Ответ")});
}

void ScanDialog::showProgress(int done, int total, const ScanCandidate &candidate)
{
    m_ui->progress->setMaximum(total);
    m_ui->progress->setValue(done);
    m_ui->labelState->setText(QStringLiteral("Проверено %1 из %2: %3, адрес %4 %5")
                                  .arg(done)
                                  .arg(total)
                                  .arg(protocolName(candidate.protocol))
                                  .arg(candidate.address)
                                  .arg(lineOf(candidate)));
}

void ScanDialog::addFind(const ScanFind &find)
{
    const int row = m_ui->tableFinds->rowCount();
    m_ui->tableFinds->insertRow(row);
    const QStringList cells{protocolName(find.candidate.protocol), QString::number(find.candidate.address),
                            lineOf(find.candidate), find.summary()};
    for (int column = 0; column < cells.size(); ++column)
        m_ui->tableFinds->setItem(row, column, new QTableWidgetItem(cells.at(column)));
}

void ScanDialog::scanEnded(bool cancelled)
{
    setRunning(false);
    const int found = m_ui->tableFinds->rowCount();
    m_ui->labelState->setText(QStringLiteral("%1: найдено устройств — %2")
                                  .arg(cancelled ? QStringLiteral("Поиск остановлен") : QStringLiteral("Поиск закончен"))
                                  .arg(found));
}

void ScanDialog::setRunning(bool running)
{
    m_ui->buttonStart->setEnabled(!running);
    m_ui->buttonStop->setEnabled(running);
}

QVector<int> ScanDialog::baudRatesIn(const QString &text)
{
    QVector<int> rates;
    for (const QString &part : text.split(QRegularExpression(QStringLiteral("[,;\\s]+")), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int rate = part.toInt(&ok);
        if (ok && rate > 0)
            rates.append(rate);
    }
    return rates;
}
