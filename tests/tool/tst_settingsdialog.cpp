#include "dialogbutton.h"
#include "modalwatcher.h"
#include "settingsdialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSerialPortInfo>
#include <QSpinBox>
#include <QtTest>

namespace {
template <typename T>
T *child(const QWidget &parent, const char *name)
{
    return parent.findChild<T *>(QLatin1String(name));
}
}

class TestSettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void form();
    void baudRateChoices();
    void listsAvailableSerialPorts();
    void serialModeDisablesTcpGroup();
    void networkModeDisablesSerialGroup();
    void serialPortNotInList();
    void baudRate_data();
    void baudRate();
    void baudRateThatIsNotANumber();
    void devIdClamped_data();
    void devIdClamped();
    void tcpPortClamped_data();
    void tcpPortClamped();
    void tcpHost();
    void okAccepts();
    void cancelRejects();
};

void TestSettingsDialog::form()
{
    SettingsDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Настройки связи"));
    QCOMPARE(dialog.size(), QSize(355, 235));
    QVERIFY(!dialog.windowIcon().isNull());
    QCOMPARE(child<QGroupBox>(dialog, "groupDevice")->title(), QStringLiteral("Обшие"));
    QCOMPARE(child<QGroupBox>(dialog, "groupRTU")->title(), QStringLiteral("RTU"));
    QCOMPARE(child<QGroupBox>(dialog, "groupTcp")->title(), QStringLiteral("TCP"));
    QCOMPARE(child<QLabel>(dialog, "label_5")->text(), QStringLiteral("Сетевой адрес:"));
    QCOMPARE(child<QLabel>(dialog, "label")->text(), QStringLiteral("Порт:"));
    QCOMPARE(child<QLabel>(dialog, "label_2")->text(), QStringLiteral("Скорость:"));
    QCOMPARE(child<QLabel>(dialog, "label_3")->text(), QStringLiteral("IP-Адрес:"));
    QCOMPARE(child<QLabel>(dialog, "label_4")->text(), QStringLiteral("Порт:"));

    auto *spinDevId = child<QSpinBox>(dialog, "spinDevId");
    QCOMPARE(spinDevId->minimum(), 1);
    QCOMPARE(spinDevId->maximum(), 254);
    auto *spiTcpPort = child<QSpinBox>(dialog, "spiTcpPort");
    QCOMPARE(spiTcpPort->minimum(), 1);
    QCOMPARE(spiTcpPort->maximum(), 65535);
    QCOMPARE(dialog.tcpPort(), 502);
    QCOMPARE(dialog.tcpHost(), QString());
    QVERIFY(child<QComboBox>(dialog, "comboSerialPort")->isEditable());

    auto *rtuLayout = child<QHBoxLayout>(dialog, "rtuLayout");
    QCOMPARE(rtuLayout->indexOf(child<QWidget>(dialog, "comboSerialPort")), 1);
    QCOMPARE(rtuLayout->stretch(0), 0);
    QCOMPARE(rtuLayout->stretch(1), 1);
    QCOMPARE(rtuLayout->stretch(2), 0);
    QCOMPARE(rtuLayout->stretch(3), 0);

    QVERIFY(child<QGroupBox>(dialog, "groupDevice")->isEnabled());
    QVERIFY(child<QGroupBox>(dialog, "groupRTU")->isEnabled());
    QVERIFY(child<QGroupBox>(dialog, "groupTcp")->isEnabled());
    auto *buttons = child<QDialogButtonBox>(dialog, "buttonBox");
    QCOMPARE(buttons->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
}

void TestSettingsDialog::baudRateChoices()
{
    SettingsDialog dialog;
    auto *combo = child<QComboBox>(dialog, "comboBaudrate");
    QVERIFY(combo->isEditable());
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items.append(combo->itemText(i));
    const QStringList expected{"9600", "19200", "38400", "57600", "115200", "230400", "460800", "921600"};
    QCOMPARE(items, expected);
    QCOMPARE(combo->currentIndex(), 4);
    QCOMPARE(dialog.baudRate(), 115200);
}

void TestSettingsDialog::listsAvailableSerialPorts()
{
    SettingsDialog dialog;
    auto *combo = child<QComboBox>(dialog, "comboSerialPort");
    QStringList listed;
    for (int i = 0; i < combo->count(); ++i)
        listed.append(combo->itemText(i));
    QStringList available;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports)
        available.append(port.portName());
    QCOMPARE(listed, available);
    QCOMPARE(dialog.serialPort(), available.value(0));
}

void TestSettingsDialog::serialModeDisablesTcpGroup()
{
    SettingsDialog dialog;
    dialog.setSerialMode(true);
    QVERIFY(!child<QGroupBox>(dialog, "groupTcp")->isEnabled());
    QVERIFY(child<QGroupBox>(dialog, "groupRTU")->isEnabled());
    QVERIFY(child<QGroupBox>(dialog, "groupDevice")->isEnabled());
    QVERIFY(child<QGroupBox>(dialog, "groupTcp")->isVisibleTo(&dialog));
}

void TestSettingsDialog::networkModeDisablesSerialGroup()
{
    SettingsDialog dialog;
    dialog.setSerialMode(false);
    QVERIFY(!child<QGroupBox>(dialog, "groupRTU")->isEnabled());
    QVERIFY(child<QGroupBox>(dialog, "groupTcp")->isEnabled());
    QVERIFY(child<QGroupBox>(dialog, "groupRTU")->isVisibleTo(&dialog));
    QCOMPARE(child<QComboBox>(dialog, "comboBaudrate")->currentText(), QStringLiteral("115200"));
}

void TestSettingsDialog::serialPortNotInList()
{
    SettingsDialog dialog;
    dialog.setSerialPort(QStringLiteral("COM7"));
    QCOMPARE(dialog.serialPort(), QStringLiteral("COM7"));
    QCOMPARE(child<QComboBox>(dialog, "comboSerialPort")->currentText(), QStringLiteral("COM7"));
}

void TestSettingsDialog::baudRate_data()
{
    QTest::addColumn<int>("baudRate");

    QTest::newRow("listed 19200") << 19200;
    QTest::newRow("listed 921600") << 921600;
    QTest::newRow("unlisted 12345") << 12345;
    QTest::newRow("unlisted 300") << 300;
}

void TestSettingsDialog::baudRate()
{
    QFETCH(int, baudRate);

    SettingsDialog dialog;
    dialog.setBaudRate(baudRate);
    QCOMPARE(child<QComboBox>(dialog, "comboBaudrate")->currentText(), QString::number(baudRate));
    QCOMPARE(dialog.baudRate(), baudRate);
}

void TestSettingsDialog::baudRateThatIsNotANumber()
{
    SettingsDialog dialog;
    child<QComboBox>(dialog, "comboBaudrate")->setEditText(QStringLiteral("fast"));
    QCOMPARE(dialog.baudRate(), 0);
}

void TestSettingsDialog::devIdClamped_data()
{
    QTest::addColumn<int>("given");
    QTest::addColumn<int>("shown");

    QTest::newRow("0 clamps to 1") << 0 << 1;
    QTest::newRow("1 stays") << 1 << 1;
    QTest::newRow("17 stays") << 17 << 17;
    QTest::newRow("254 stays") << 254 << 254;
    QTest::newRow("255 clamps to 254") << 255 << 254;
}

void TestSettingsDialog::devIdClamped()
{
    QFETCH(int, given);
    QFETCH(int, shown);

    SettingsDialog dialog;
    dialog.setDevId(quint8(given));
    QCOMPARE(child<QSpinBox>(dialog, "spinDevId")->value(), shown);
    QCOMPARE(dialog.devId(), shown);
}

void TestSettingsDialog::tcpPortClamped_data()
{
    QTest::addColumn<int>("given");
    QTest::addColumn<int>("shown");

    QTest::newRow("0 clamps to 1") << 0 << 1;
    QTest::newRow("1502 stays") << 1502 << 1502;
    QTest::newRow("65535 stays") << 65535 << 65535;
    QTest::newRow("70000 clamps to 65535") << 70000 << 65535;
}

void TestSettingsDialog::tcpPortClamped()
{
    QFETCH(int, given);
    QFETCH(int, shown);

    SettingsDialog dialog;
    dialog.setTcpPort(given);
    QCOMPARE(dialog.tcpPort(), shown);
}

void TestSettingsDialog::tcpHost()
{
    SettingsDialog dialog;
    dialog.setTcpHost(QStringLiteral("plc.local"));
    QCOMPARE(child<QLineEdit>(dialog, "lineTcpHost")->text(), QStringLiteral("plc.local"));
    QCOMPARE(dialog.tcpHost(), QStringLiteral("plc.local"));
}

void TestSettingsDialog::okAccepts()
{
    SettingsDialog dialog;
    ModalWatcher ok(SettingsDialog::staticMetaObject, [](QWidget *modal) {
        QTest::keyClicks(child<QLineEdit>(*modal, "lineTcpHost"), QStringLiteral("10.1.2.3"));
        clickDialogButton(modal, QDialogButtonBox::Ok);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(dialog.tcpHost(), QStringLiteral("10.1.2.3"));
}

void TestSettingsDialog::cancelRejects()
{
    SettingsDialog dialog;
    ModalWatcher cancel(SettingsDialog::staticMetaObject, [](QWidget *modal) {
        clickDialogButton(modal, QDialogButtonBox::Cancel);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
}

QTEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
