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
constexpr qint64 msPerSecond = 1000;

// A pseudo-terminal's name is far longer than "ttyUSB0"; the demo's is the one to fit.
const char *const longPortName = "/tmp/velmor-demo-pty";

// Fields drawn as an editable combo box (the port box, a date field with a calendar
// pop-up) leave their text less room than their size hint allows for, which cut the
// seconds or the end of a path off; reserve room for the widest text beside the arrow.
void reserveRoomBesideArrow(QWidget *field, const QString &widestText)
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
    field->setMinimumWidth(field->fontMetrics().horizontalAdvance(widestText) + besideText + textMargins);
}

void reserveRoomForWholeTime(QDateTimeEdit *field)
{
    reserveRoomBesideArrow(field, QDateTime(QDate(2088, 8, 28), QTime(20, 48, 48)).toString(field->displayFormat()));
}

// A refusal carries no data and a block with month 13 forms no date: both give an
// invalid time.
QDateTime deviceTimeOf(const VelmorBusPacket &result)
{
    return result.stat() == VelmorBusPacket::StatOk ? ClockBlock::decode(result.data()) : QDateTime();
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_ui(new Ui::MainWindow)
    , m_master(new VelmorbusRtuSerialMaster(this))
{
    m_ui->setupUi(this);
    reserveRoomForWholeTime(m_ui->dateTime);
    reserveRoomBesideArrow(m_ui->comboPort, QString::fromLatin1(longPortName));

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
        // The field's old value must not pass silently for the controller's time.
        const QDateTime deviceTime = deviceTimeOf(reply->result());
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

    const bool written = reply->error() == VelmorbusReply::NoError
        && reply->result().stat() == VelmorBusPacket::StatOk;
    if (reply->error() != VelmorbusReply::NoError)
        showWarning(tr("Ошибка установки времени\n[%1]").arg(reply->errorString()));
    else if (!written)
        showWarning(tr("Ошибка установки времени"));

    reply->deleteLater();
    m_master->close();
    if (written) {
        m_ui->labelDrift->setText(tr("Расхождение с часами компьютера: проверяется…"));
        // The master ends its exchange only after this handler returns; until then it
        // takes no new request.
        QMetaObject::invokeMethod(this, &MainWindow::readBackDeviceTime, Qt::QueuedConnection);
    }
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

    VelmorbusReply *reply = sendClockRead();
    if (reply)
        connect(reply, &VelmorbusReply::finished, this, &MainWindow::onTimeRead);
}

void MainWindow::writeDeviceTime(const QDateTime &dateTime)
{
    // A drift shown before belongs to the clock as it was before this write.
    m_ui->labelDrift->clear();
    if (!openLink())
        return;

    VelmorBusPacket request(VelmorBusPacket::CmdWrite, Velmorbus::clockBlockAddr, Velmorbus::clockBlockSize);
    request.setData(ClockBlock::encode(dateTime));
    VelmorbusReply *reply = m_master->sendRequest(request, quint8(m_ui->spinId->value()));
    if (reply)
        connect(reply, &VelmorbusReply::finished, this, &MainWindow::onTimeWrite);
}

void MainWindow::readBackDeviceTime()
{
    if (!openLinkQuietly()) {
        showUnverified(tr("невозможно открыть порт %1 [%2]").arg(m_master->portName(), m_master->portErrorString()));
        return;
    }
    const qint64 sentAtMs = QDateTime::currentMSecsSinceEpoch();
    VelmorbusReply *reply = sendClockRead();
    if (!reply) {
        showUnverified(tr("запрос не отправлен"));
        m_master->close();
        return;
    }
    connect(reply, &VelmorbusReply::finished, this,
            [this, reply, sentAtMs] { onTimeReadBack(reply, sentAtMs); });
}

void MainWindow::onTimeReadBack(VelmorbusReply *reply, qint64 sentAtMs)
{
    // The controller read its clock somewhere within the exchange; its middle is the
    // best guess of when.
    const qint64 computerTimeMs = sentAtMs + (QDateTime::currentMSecsSinceEpoch() - sentAtMs) / 2;
    if (reply->error() != VelmorbusReply::NoError) {
        showUnverified(tr("ошибка чтения времени [%1]").arg(reply->errorString()));
    } else {
        const QDateTime deviceTime = deviceTimeOf(reply->result());
        if (deviceTime.isValid()) {
            m_ui->dateTimeDevice->setDateTime(deviceTime);
            showDrift(deviceTime, computerTimeMs);
        } else {
            showUnverified(tr("ошибка чтения времени"));
        }
    }

    reply->deleteLater();
    m_master->close();
}

void MainWindow::showDrift(const QDateTime &deviceTime, qint64 computerTimeMs)
{
    // The controller counts whole seconds: its clock lies somewhere within the second it
    // shows, taken as that second's middle.
    const qint64 driftMs = deviceTime.toMSecsSinceEpoch() + msPerSecond / 2 - computerTimeMs;
    const QString seconds = QString::asprintf("%+.1f", double(driftMs) / msPerSecond);
    m_ui->labelDrift->setText(tr("Расхождение с часами компьютера: %1 с").arg(seconds));
}

void MainWindow::showUnverified(const QString &reason)
{
    m_ui->labelDrift->setText(tr("Запись не проверена: %1").arg(reason));
}

VelmorbusReply *MainWindow::sendClockRead()
{
    const VelmorBusPacket request(VelmorBusPacket::CmdRead, Velmorbus::clockBlockAddr, Velmorbus::clockBlockSize);
    return m_master->sendRequest(request, quint8(m_ui->spinId->value()));
}

// Opens the port for one exchange with the settings now on the form.
bool MainWindow::openLink()
{
    if (openLinkQuietly())
        return true;
    // The system's word ("Permission denied", "No such file or directory") tells what to fix.
    showWarning(tr("Невозможно открыть порт %1\n[%2]").arg(m_master->portName(), m_master->portErrorString()));
    return false;
}

bool MainWindow::openLinkQuietly()
{
    m_master->setPortName(m_ui->comboPort->currentText());
    m_master->setBaudRate(m_ui->comboBaudrate->currentText().toInt());
    m_master->setResponseTimeout(responseTimeoutMs);
    return m_master->open();
}

void MainWindow::showWarning(const QString &text)
{
    QMessageBox::warning(this, QString::fromLatin1(messageTitle), text);
}
