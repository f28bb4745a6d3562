#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "velmorbuspacket.h"
#include "velmorbusreply.h"
#include "velmorbusrtuserialmaster.h"

#include <QMessageBox>
#include <QSerialPortInfo>
#include <QStyleOptionComboBox>

namespace {

const char *const messageTitle = "Velmor Time Setup";

// The controller's clock is one block of 8 bytes at this Velmorbus address:
// second, minute, hour, day, month, year (2 bytes little-endian), day of week (1 = Monday).
constexpr quint16 clockAddress = 0x0C02;
constexpr quint16 clockBlockSize = 8;

constexpr int responseTimeoutMs = 200;
constexpr int systemTimeRefreshMs = 1000;

QByteArray encodeClockBlock(const QDateTime &dateTime)
{
    const QDate date = dateTime.date();
    const QTime time = dateTime.time();
    QByteArray block;
    block.append(char(time.second()))
        .append(char(time.minute()))
        .append(char(time.hour()))
        .append(char(date.day()))
        .append(char(date.month()))
        .append(char(date.year() & 0xFF))
        .append(char((date.year() >> 8) & 0xFF))
        .append(char(date.dayOfWeek()));
    return block;
}

// Local wall-clock time; invalid when the block is short or its numbers form no date and time.
// The day-of-week byte is not needed to build the date.
QDateTime decodeClockBlock(const QByteArray &block)
{
    if (block.size() < clockBlockSize)
        return {};
    const auto byteAt = [&block](int offset) { return int(quint8(block.at(offset))); };
    const QDate date(byteAt(5) | (byteAt(6) << 8), byteAt(4), byteAt(3));
    const QTime time(byteAt(2), byteAt(1), byteAt(0));
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::LocalTime);
}

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
            ? decodeClockBlock(result.data())
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

    const VelmorBusPacket request(VelmorBusPacket::CmdRead, clockAddress, clockBlockSize);
    VelmorbusReply *reply = m_master->sendRequest(request, quint8(m_ui->spinId->value()));
    if (reply)
        connect(reply, &VelmorbusReply::finished, this, &MainWindow::onTimeRead);
}

void MainWindow::writeDeviceTime(const QDateTime &dateTime)
{
    if (!openLink())
        return;

    VelmorBusPacket request(VelmorBusPacket::CmdWrite, clockAddress, clockBlockSize);
    request.setData(encodeClockBlock(dateTime));
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
    showWarning(tr("Невозможно открыть порт %1").arg(m_master->portName()));
    return false;
}

void MainWindow::showWarning(const QString &text)
{
    QMessageBox::warning(this, QString::fromLatin1(messageTitle), text);
}
