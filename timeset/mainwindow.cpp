#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "clockblock.h"
#include "velmorbusconstants.h"
#include "velmorbuspacket.h"
#include "velmorbusreply.h"
#include "velmorbusrtuserialmaster.h"

#include <QMessageBox>
#include <QSerialPortInfo>
#include <QStyleOptionComboBox>

namespace {

const char *const messageTitle = "Velmor Time Setup";

constexpr int responseTimeoutMs = 200;
constexpr int systemTimeRefreshMs = 1000;

// The calendar pop-up's arrow takes more of the field than its size hint allows for,
// which cut the seconds off; reserve room for the widest time beside the arrow.
void reserveRoomForWholeTime(QDateTimeEdit *field)
{
    QStyleOptionComboBox option;
    option.initFrom(field);
    option.editable = true;
    option.rect.setWidth(field->sizeHint().width());
    const QRect textArea = field->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                          QStyle::SC_ComboBoxEditField, field);
    const int besideText = option.rect.width() - textArea.width();
    // QLineEdit keeps 2 px on each side of its text, plus room for the cursor.
    constexpr int textMargins = 8;
    const QString widestTime = QDateTime(QDate(2088, 8, 28), QTime(20, 48, 48)).toString(field->displayFormat());
    field->setMinimumWidth(field->fontMetrics().horizontalAdvance(widestTime) + besideText + textMargins);
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_ui(new Ui::MainWindow)
    , m_master(new VelmorbusRtuSerialMaster(this))
{
    m_ui->setupUi(this);
    reserveRoomForWholeTime(m_ui->dateTime);

    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports)
        m_ui->comboPort->addItem(port.portName());

    const QDateTime now = QDateTime::currentDateTime();
    m_ui->dateTimeSys->setDateTime(now);
    m_ui->dateTime->setDateTime(now);

    connect(&m_timer, &QTimer::timeout, this, &MainWindow::onTimer);
    m_timer.start(systemTimeRefreshMs);
}

MainWindow::~MainWindow()
{
    delete m_ui;
}

void MainWindow::onTimer()
{
    m_ui->dateTimeSys->setDateTime(QDateTime::currentDateTime());
}

void MainWindow::onTimeRead()
{
    auto *reply = qobject_cast<VelmorbusReply *>(sender());
    if (!reply)
        return;

    if (reply->error() != VelmorbusReply::NoError) {
        showWarning(tr("Ошибка чтения времени\n[%1]").arg(reply->errorString()));
    } else {
        // A refusal carries no data and a block with month 13 forms no date; either way
        // the field's old value must not pass silently for the controller's time.
        const VelmorBusPacket result = reply->result();
        const QDateTime deviceTime = result.stat() == VelmorBusPacket::StatOk
            ? ClockBlock::decode(result.data())
            : QDateTime();
        if (deviceTime.isValid())
            m_ui->dateTimeDevice->setDateTime(deviceTime);
        else
            showWarning(tr("Ошибка чтения времени"));
    }

    reply->deleteLater();
    m_master->close();
}

void MainWindow::onTimeWrite()
{
    auto *reply = qobject_cast<VelmorbusReply *>(sender());
    if (!reply)
        return;

    if (reply->error() != VelmorbusReply::NoError)
        showWarning(tr("Ошибка установки времени\n[%1]").arg(reply->errorString()));
    else if (reply->result().stat() != VelmorBusPacket::StatOk)
        showWarning(tr("Ошибка установки времени"));

    reply->deleteLater();
    m_master->close();
}

void MainWindow::on_buttonReadTime_clicked()
{
    readDeviceTime();
}

void MainWindow::on_buttonSetTimeSys_clicked()
{
    writeDeviceTime(m_ui->dateTimeSys->dateTime());
}

void MainWindow::on_buttonSetTime_clicked()
{
    writeDeviceTime(m_ui->dateTime->dateTime());
}

void MainWindow::readDeviceTime()
{
    if (!openLink())
        return;

    const VelmorBusPacket request(VelmorBusPacket::CmdRead, Velmorbus::clockBlockAddr, Velmorbus::clockBlockSize);
    VelmorbusReply *reply = m_master->sendRequest(request, quint8(m_ui->spinId->value()));
    if (reply)
        connect(reply, &VelmorbusReply::finished, this, &MainWindow::onTimeRead);
}

void MainWindow::writeDeviceTime(const QDateTime &dateTime)
{
    if (!openLink())
        return;

    VelmorBusPacket request(VelmorBusPacket::CmdWrite, Velmorbus::clockBlockAddr, Velmorbus::clockBlockSize);
    request.setData(ClockBlock::encode(dateTime));
    VelmorbusReply *reply = m_master->sendRequest(request, quint8(m_ui->spinId->value()));
    if (reply)
        connect(reply, &VelmorbusReply::finished, this, &MainWindow::onTimeWrite);
}

// Opens the port for one exchange with the settings now on the form.
bool MainWindow::openLink()
{
    m_master->setPortName(m_ui->comboPort->currentText());
    m_master->setBaudRate(m_ui->comboBaudrate->currentText().toInt());
    m_master->setResponseTimeout(responseTimeoutMs);
    if (m_master->open())
        return true;
    // The system's word ("Permission denied", "No such file or directory") tells what to fix.
    showWarning(tr("Невозможно открыть порт %1\n[%2]").arg(m_master->portName(), m_master->portErrorString()));
    return false;
}

void MainWindow::showWarning(const QString &text)
{
    QMessageBox::warning(this, QString::fromLatin1(messageTitle), text);
}
