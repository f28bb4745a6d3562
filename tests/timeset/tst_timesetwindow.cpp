#include "clockcontroller.h"
#include "mainwindow.h"
#include "messageboxcloser.h"
#include "velmorbusreply.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSerialPort>
#include <QSpinBox>
#include <QtTest>

#include <ctime>
#include <memory>

namespace {

const QString boxTitle = QStringLiteral("Velmor Time Setup");
constexpr int exchangeTimeoutMs = 5000;

// 20.09.2017 10:20:54, a Wednesday, as the clock block of device 33.
const QByteArray readRequest33 = QByteArray::fromHex("2102020C0800B911");
const QByteArray goodReadAnswer33 = QByteArray::fromHex("2112020C0800" "36140A1409E10703" "0282");
const QByteArray writeRequest33 = QByteArray::fromHex("2104020C0800" "36140A1409E10703" "35D4");
const QByteArray writeAck33 = QByteArray::fromHex("2114020C0800F0D2");
const QDateTime sampleTime(QDate(2017, 9, 20), QTime(10, 20, 54));

// A value no controller in these tests reports, to see whether the field was touched.
const QDateTime untouchedTime(QDate(2003, 2, 1), QTime(4, 5, 6));

const QString readBackRunning = QStringLiteral("Расхождение с часами компьютера: проверяется…");

} // namespace

class tst_TimesetWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void formOffersTheFixedChoices();
    void systemTimeTicks();
    void readShowsControllerTime_data();
    void readShowsControllerTime();
    void writeSendsChosenTime();
    void writeSendsShownSystemTime();
    void transportErrorIsShown_data();
    void transportErrorIsShown();
    void refusedWriteIsShown();
    void driftShownAfterWrite_data();
    void driftShownAfterWrite();
    void failedReadBackIsShown_data();
    void failedReadBackIsShown();
    void unusableReadIsShown_data();
    void unusableReadIsShown();
    void portThatCannotBeOpened_data();
    void portThatCannotBeOpened();
    void secondPressDuringExchange();
    void timeFieldsShowTheWholeTime_data();
    void timeFieldsShowTheWholeTime();
    void portBoxShowsLongPath_data();
    void portBoxShowsLongPath();

private:
    template<typename T>
    T *widget(const char *name) const;
    void press(const char *buttonName);
    bool exchangeEnded() const;
    bool nextReadWorks();

    std::unique_ptr<ClockController> m_controller;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<MessageBoxCloser> m_closer;
};

void tst_TimesetWindow::initTestCase()
{
    // The clock travels as local wall-clock time; pin the zone so that no daylight-saving
    // gap swallows a sample time, and the locale so that texts compare exactly.
    qputenv("TZ", "UTC");
    tzset();
    QLocale::setDefault(QLocale::c());
}

void tst_TimesetWindow::init()
{
    m_controller = std::make_unique<ClockController>();
    QVERIFY(m_controller->isOpen());
    m_window = std::make_unique<MainWindow>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    widget<QComboBox>("comboPort")->setEditText(m_controller->portPath());
    m_closer = std::make_unique<MessageBoxCloser>();
}

void tst_TimesetWindow::cleanup()
{
    m_closer.reset();
    m_window.reset();
    m_controller.reset();
}

template<typename T>
T *tst_TimesetWindow::widget(const char *name) const
{
    return m_window->findChild<T *>(QString::fromLatin1(name));
}

void tst_TimesetWindow::press(const char *buttonName)
{
    QTest::mouseClick(widget<QPushButton>(buttonName), Qt::LeftButton);
}

// The handler has run to its end once the reply it released is gone, and a write's
// read-back with it.
bool tst_TimesetWindow::exchangeEnded() const
{
    return m_window->findChildren<VelmorbusReply *>().isEmpty()
        && widget<QLabel>("labelDrift")->text() != readBackRunning;
}

// A good read goes through only if the window could open its port again, so the
// previous exchange must have closed it.
bool tst_TimesetWindow::nextReadWorks()
{
    if (!QTest::qWaitFor([this] { return exchangeEnded(); }, exchangeTimeoutMs))
        return false;
    const int messagesBefore = m_closer->messages().size();
    auto *deviceTime = widget<QDateTimeEdit>("dateTimeDevice");
    deviceTime->setDateTime(untouchedTime);
    m_controller->setAnswer(goodReadAnswer33);
    press("buttonReadTime");
    return QTest::qWaitFor([deviceTime] { return deviceTime->dateTime() == sampleTime; },
                           exchangeTimeoutMs)
        && m_closer->messages().size() == messagesBefore;
}

void tst_TimesetWindow::formOffersTheFixedChoices()
{
    auto *baudrate = widget<QComboBox>("comboBaudrate");
    QStringList rates;
    for (int i = 0; i < baudrate->count(); ++i)
        rates.append(baudrate->itemText(i));
    QCOMPARE(rates, QStringList({"19200", "38400", "57600", "115200", "230400", "460800", "921600"}));
    QCOMPARE(baudrate->currentText(), QStringLiteral("19200"));

    auto *id = widget<QSpinBox>("spinId");
    QCOMPARE(id->minimum(), 1);
    QCOMPARE(id->maximum(), 254);
    QCOMPARE(id->value(), 33);
    QVERIFY(widget<QComboBox>("comboPort")->isEditable());

    for (const char *name : {"dateTimeDevice", "dateTimeSys", "dateTime"}) {
        auto *field = widget<QDateTimeEdit>(name);
        QVERIFY2(field, name);
        QCOMPARE(field->displayFormat(), QStringLiteral("dd.MM.yyyy HH:mm:ss"));
        QCOMPARE(field->buttonSymbols(), QAbstractSpinBox::NoButtons);
        QVERIFY(!field->isAccelerated());
        QVERIFY(!field->isGroupSeparatorShown());
    }
    QVERIFY(widget<QDateTimeEdit>("dateTimeDevice")->isReadOnly());
    QVERIFY(widget<QDateTimeEdit>("dateTimeSys")->isReadOnly());
    QVERIFY(!widget<QDateTimeEdit>("dateTime")->isReadOnly());
    QVERIFY(widget<QDateTimeEdit>("dateTime")->calendarPopup());
}

void tst_TimesetWindow::systemTimeTicks()
{
    auto *systemTime = widget<QDateTimeEdit>("dateTimeSys");
    systemTime->setDateTime(untouchedTime);
    QTRY_VERIFY_WITH_TIMEOUT(systemTime->dateTime() != untouchedTime, exchangeTimeoutMs);
    QVERIFY(qAbs(systemTime->dateTime().secsTo(QDateTime::currentDateTime())) <= 2);
}

void tst_TimesetWindow::readShowsControllerTime_data()
{
    QTest::addColumn<int>("deviceId");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QDateTime>("shown");

    QTest::newRow("read 8 bytes at 0x0C02 from 33")
        << 33 << readRequest33 << goodReadAnswer33 << sampleTime;
    QTest::newRow("read 8 bytes at 0x0C02 from 200")
        << 200 << QByteArray::fromHex("C802020C0800AFE8")
        << QByteArray::fromHex("C812020C0800" "3A3B171F0C330804" "76B7")
        << QDateTime(QDate(2099, 12, 31), QTime(23, 59, 58));
}

void tst_TimesetWindow::readShowsControllerTime()
{
    QFETCH(int, deviceId);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);
    QFETCH(QDateTime, shown);

    widget<QSpinBox>("spinId")->setValue(deviceId);
    m_controller->setAnswer(answer);
    press("buttonReadTime");

    QTRY_COMPARE_WITH_TIMEOUT(widget<QDateTimeEdit>("dateTimeDevice")->dateTime(), shown,
                              exchangeTimeoutMs);
    QCOMPARE(m_controller->requests(), QList<QByteArray>({request}));
    QVERIFY(m_closer->messages().isEmpty());
    widget<QSpinBox>("spinId")->setValue(33);
    QVERIFY(nextReadWorks());
}

void tst_TimesetWindow::writeSendsChosenTime()
{
    widget<QDateTimeEdit>("dateTime")->setDateTime(sampleTime);
    m_controller->setAnswer(writeAck33);
    press("buttonSetTime");

    QTRY_VERIFY_WITH_TIMEOUT(exchangeEnded(), exchangeTimeoutMs);
    QCOMPARE(m_controller->requests(), QList<QByteArray>({writeRequest33, readRequest33}));
    QVERIFY(m_closer->messages().isEmpty());
    QVERIFY(nextReadWorks());
}

void tst_TimesetWindow::writeSendsShownSystemTime()
{
    m_controller->setAnswer(writeAck33);
    const QDateTime shown = widget<QDateTimeEdit>("dateTimeSys")->dateTime();
    press("buttonSetTimeSys");

    QTRY_VERIFY_WITH_TIMEOUT(exchangeEnded(), exchangeTimeoutMs);
    QCOMPARE(m_controller->requests().size(), 2);
    const QByteArray frame = m_controller->requests().constFirst();
    QCOMPARE(frame.size(), 16);
    QCOMPARE(frame.left(6), QByteArray::fromHex("2104020C0800"));
    const auto byteAt = [&frame](int offset) { return int(quint8(frame.at(offset))); };
    const QDateTime sent(QDate(byteAt(11) | (byteAt(12) << 8), byteAt(10), byteAt(9)),
                         QTime(byteAt(8), byteAt(7), byteAt(6)));
    QCOMPARE(sent, shown.addMSecs(-shown.time().msec()));
    QCOMPARE(byteAt(13), shown.date().dayOfWeek());
    QVERIFY(m_closer->messages().isEmpty());
}

void tst_TimesetWindow::transportErrorIsShown_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("text");

    const QString readFailed = QStringLiteral("Ошибка чтения времени\n[%1]");
    const QString writeFailed = QStringLiteral("Ошибка установки времени\n[%1]");
    const struct
    {
        const char *name;
        QByteArray answer;
        QString error;
    } faults[] = {
        {"silent controller", QByteArray(), QStringLiteral("Timeout")},
        {"answer from device 34", QByteArray::fromHex("2212020C0800" "36140A1409E10703" "0181"),
         QStringLiteral("Response id doesn't match request id")},
        {"6-byte answer", QByteArray::fromHex("2112020C0800"),
         QStringLiteral("Recieved response is too small")},
        {"answer with a wrong CRC", QByteArray::fromHex("2112020C0800" "36140A1409E10703" "0283"),
         QStringLiteral("Response CRC mismatch")},
        {"read success without data", QByteArray::fromHex("2112020C080078D2"),
         QStringLiteral("Unable to parse current response")},
    };
    for (const auto &fault : faults) {
        QTest::addRow("read: %s", fault.name)
            << QByteArray("buttonReadTime") << fault.answer << readFailed.arg(fault.error);
        QTest::addRow("write system time: %s", fault.name)
            << QByteArray("buttonSetTimeSys") << fault.answer << writeFailed.arg(fault.error);
        QTest::addRow("write chosen time: %s", fault.name)
            << QByteArray("buttonSetTime") << fault.answer << writeFailed.arg(fault.error);
    }
}

void tst_TimesetWindow::transportErrorIsShown()
{
    QFETCH(QByteArray, button);
    QFETCH(QByteArray, answer);
    QFETCH(QString, text);

    auto *deviceTime = widget<QDateTimeEdit>("dateTimeDevice");
    deviceTime->setDateTime(untouchedTime);
    m_controller->setAnswer(answer);
    press(button.constData());

    QTRY_COMPARE_WITH_TIMEOUT(m_closer->messages().size(), 1, exchangeTimeoutMs);
    const MessageBoxCloser::Message message = m_closer->messages().constFirst();
    QCOMPARE(message.title, boxTitle);
    QCOMPARE(message.text, text);
    QCOMPARE(message.icon, QMessageBox::Warning);
    QCOMPARE(message.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(m_controller->requests().size(), 1);
    QCOMPARE(deviceTime->dateTime(), untouchedTime);
    QVERIFY(nextReadWorks());
}

void tst_TimesetWindow::refusedWriteIsShown()
{
    auto *drift = widget<QLabel>("labelDrift");
    drift->setText(QStringLiteral("Расхождение с часами компьютера: +0.2 с"));
    widget<QDateTimeEdit>("dateTime")->setDateTime(sampleTime);
    m_controller->setAnswer(QByteArray::fromHex("2124020C0800B0D6"));
    press("buttonSetTime");

    QTRY_COMPARE_WITH_TIMEOUT(m_closer->messages().size(), 1, exchangeTimeoutMs);
    const MessageBoxCloser::Message message = m_closer->messages().constFirst();
    QCOMPARE(message.title, boxTitle);
    QCOMPARE(message.text, QStringLiteral("Ошибка установки времени"));
    QCOMPARE(message.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(m_controller->requests(), QList<QByteArray>({writeRequest33}));
    QVERIFY2(drift->text().isEmpty(), qPrintable(drift->text()));
    QVERIFY(nextReadWorks());
}

void tst_TimesetWindow::driftShownAfterWrite_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<int>("offsetMs");

    QTest::newRow("system time, controller on time") << QByteArray("buttonSetTimeSys") << 0;
    QTest::newRow("system time, controller 30 s ahead") << QByteArray("buttonSetTimeSys") << 30000;
    QTest::newRow("chosen time, controller 2 min behind") << QByteArray("buttonSetTime") << -120000;
}

// The controller below keeps a clock of its own whatever was written: the drift shown
// is how far that clock is from the computer's.
void tst_TimesetWindow::driftShownAfterWrite()
{
    QFETCH(QByteArray, button);
    QFETCH(int, offsetMs);

    auto *deviceTime = widget<QDateTimeEdit>("dateTimeDevice");
    deviceTime->setDateTime(untouchedTime);
    m_controller->setAnswer(writeAck33);
    m_controller->runClock(offsetMs);
    press(button.constData());

    auto *drift = widget<QLabel>("labelDrift");
    QTRY_VERIFY_WITH_TIMEOUT(exchangeEnded(), exchangeTimeoutMs);
    const QRegularExpressionMatch shown
        = QRegularExpression(QStringLiteral("^Расхождение с часами компьютера: ([+-]\\d+\\.\\d) с$")).match(drift->text());
    QVERIFY2(shown.hasMatch(), qPrintable(drift->text()));
    // Whole seconds on the controller, a loaded machine's exchange time on top.
    QVERIFY2(qAbs(shown.captured(1).toDouble() - offsetMs / 1000.0) <= 1.5, qPrintable(drift->text()));
    QVERIFY(qAbs(deviceTime->dateTime().secsTo(QDateTime::currentDateTime().addMSecs(offsetMs))) <= 2);
    QCOMPARE(m_controller->requests().size(), 2);
    QCOMPARE(m_controller->requests().constLast(), readRequest33);
    QVERIFY(m_closer->messages().isEmpty());
    QVERIFY(nextReadWorks());
}

void tst_TimesetWindow::failedReadBackIsShown_data()
{
    QTest::addColumn<QByteArray>("readAnswer");
    QTest::addColumn<QString>("text");

    QTest::newRow("read-back unanswered")
        << QByteArray() << QStringLiteral("Запись не проверена: ошибка чтения времени [Timeout]");
    QTest::newRow("read-back refused with status 0x20")
        << QByteArray::fromHex("2122020C080038D6") << QStringLiteral("Запись не проверена: ошибка чтения времени");
    QTest::newRow("read-back month 13")
        << QByteArray::fromHex("2112020C0800" "36140A140DE10703" "03B2")
        << QStringLiteral("Запись не проверена: ошибка чтения времени");
}

void tst_TimesetWindow::failedReadBackIsShown()
{
    QFETCH(QByteArray, readAnswer);
    QFETCH(QString, text);

    auto *deviceTime = widget<QDateTimeEdit>("dateTimeDevice");
    deviceTime->setDateTime(untouchedTime);
    m_controller->setAnswer(writeAck33);
    m_controller->setReadAnswer(readAnswer);
    press("buttonSetTimeSys");

    QTRY_VERIFY_WITH_TIMEOUT(exchangeEnded(), exchangeTimeoutMs);
    QCOMPARE(widget<QLabel>("labelDrift")->text(), text);
    QCOMPARE(m_controller->requests().size(), 2);
    QCOMPARE(deviceTime->dateTime(), untouchedTime);
    // The write itself was taken: no box says otherwise.
    QVERIFY(m_closer->messages().isEmpty());
    QVERIFY(nextReadWorks());
}

void tst_TimesetWindow::unusableReadIsShown_data()
{
    QTest::addColumn<QByteArray>("answer");

    QTest::newRow("read refused with status 0x20") << QByteArray::fromHex("2122020C080038D6");
    QTest::newRow("month 13") << QByteArray::fromHex("2112020C0800" "36140A140DE10703" "03B2");
    QTest::newRow("hour 24") << QByteArray::fromHex("2112020C0800" "3614181409E10703" "01F0");
    QTest::newRow("30 February") << QByteArray::fromHex("2112020C0800" "36140A1E02E10703" "98A7");
    QTest::newRow("4 data bytes") << QByteArray::fromHex("2112020C0400" "36140A14" "F176");
}

void tst_TimesetWindow::unusableReadIsShown()
{
    QFETCH(QByteArray, answer);

    auto *deviceTime = widget<QDateTimeEdit>("dateTimeDevice");
    deviceTime->setDateTime(untouchedTime);
    m_controller->setAnswer(answer);
    press("buttonReadTime");

    QTRY_COMPARE_WITH_TIMEOUT(m_closer->messages().size(), 1, exchangeTimeoutMs);
    const MessageBoxCloser::Message message = m_closer->messages().constFirst();
    QCOMPARE(message.title, boxTitle);
    QCOMPARE(message.text, QStringLiteral("Ошибка чтения времени"));
    QCOMPARE(message.icon, QMessageBox::Warning);
    QCOMPARE(message.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(deviceTime->dateTime(), untouchedTime);
    QVERIFY(nextReadWorks());
}

void tst_TimesetWindow::portThatCannotBeOpened_data()
{
    QTest::addColumn<QByteArray>("button");

    QTest::newRow("read") << QByteArray("buttonReadTime");
    QTest::newRow("write system time") << QByteArray("buttonSetTimeSys");
    QTest::newRow("write chosen time") << QByteArray("buttonSetTime");
}

void tst_TimesetWindow::portThatCannotBeOpened()
{
    QFETCH(QByteArray, button);

    const QString absentPort = QStringLiteral("/nonexistent/velmor-timeset-port");
    widget<QComboBox>("comboPort")->setEditText(absentPort);
    press(button.constData());

    QTRY_COMPARE_WITH_TIMEOUT(m_closer->messages().size(), 1, exchangeTimeoutMs);
    const MessageBoxCloser::Message message = m_closer->messages().constFirst();
    QCOMPARE(message.title, boxTitle);
    // The system's reason, as a port of the same name gives it.
    QSerialPort absent(absentPort);
    QVERIFY(!absent.open(QIODevice::ReadWrite));
    QCOMPARE(message.text, QStringLiteral("Невозможно открыть порт %1\n[%2]").arg(absentPort, absent.errorString()));
    QCOMPARE(message.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

    widget<QComboBox>("comboPort")->setEditText(m_controller->portPath());
    QVERIFY(nextReadWorks());
}

void tst_TimesetWindow::secondPressDuringExchange()
{
    press("buttonReadTime");
    press("buttonReadTime");

    // The refused press shows its box at once; the silent controller's timeout comes later,
    // unless a loaded machine lets the first box linger, so the order is not compared.
    QTRY_COMPARE_WITH_TIMEOUT(m_closer->messages().size(), 2, exchangeTimeoutMs);
    QStringList texts = m_closer->texts();
    texts.sort();
    // The box names the port as the serial port reports it ("pts/3" for "/dev/pts/3").
    QSerialPort port;
    port.setPortName(m_controller->portPath());
    QStringList expected = {QStringLiteral("Невозможно открыть порт %1\n[Device is already open]").arg(port.portName()),
                            QStringLiteral("Ошибка чтения времени\n[Timeout]")};
    expected.sort();
    QCOMPARE(texts, expected);
    QCOMPARE(m_controller->requests(), QList<QByteArray>({readRequest33}));
    QVERIFY(nextReadWorks());
}

void tst_TimesetWindow::timeFieldsShowTheWholeTime_data()
{
    QTest::addColumn<QByteArray>("field");

    QTest::newRow("controller time") << QByteArray("dateTimeDevice");
    QTest::newRow("system time") << QByteArray("dateTimeSys");
    QTest::newRow("chosen time, calendar pop-up") << QByteArray("dateTime");
}

// At the window's natural size the widest time text must fit the field's text area.
void tst_TimesetWindow::timeFieldsShowTheWholeTime()
{
    QFETCH(QByteArray, field);

    auto *edit = widget<QDateTimeEdit>(field.constData());
    edit->setDateTime(QDateTime(QDate(2028, 8, 28), QTime(8, 48, 48)));
    m_window->adjustSize();
    QCoreApplication::processEvents();
    const QLineEdit *text = edit->findChild<QLineEdit *>();
    const int textWidth = text->fontMetrics().horizontalAdvance(text->text());
    QVERIFY2(textWidth < text->contentsRect().width() - 4,
             qPrintable(QStringLiteral("%1 px of text in %2 px").arg(textWidth).arg(text->contentsRect().width())));
}

void tst_TimesetWindow::portBoxShowsLongPath_data()
{
    QTest::addColumn<QString>("path");

    QTest::newRow("pseudo-terminal") << QStringLiteral("/dev/pts/12");
    QTest::newRow("the demo's link") << QStringLiteral("/tmp/velmor-demo-pty");
}

// At the window's natural size a typed pseudo-terminal path must fit the box's text area.
void tst_TimesetWindow::portBoxShowsLongPath()
{
    QFETCH(QString, path);

    widget<QComboBox>("comboPort")->setEditText(path);
    m_window->adjustSize();
    QCoreApplication::processEvents();
    const QLineEdit *text = widget<QComboBox>("comboPort")->lineEdit();
    const int textWidth = text->fontMetrics().horizontalAdvance(path);
    QVERIFY2(textWidth < text->contentsRect().width() - 4,
             qPrintable(QStringLiteral("%1 px of text in %2 px").arg(textWidth).arg(text->contentsRect().width())));
}

QTEST_MAIN(tst_TimesetWindow)
#include "tst_timesetwindow.moc"
