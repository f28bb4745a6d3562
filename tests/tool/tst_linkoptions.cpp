#include "descriptiondir.h"
#include "dialogbutton.h"
#include "linkoptionsdialog.h"
#include "mainwindow.h"
#include "modalwatcher.h"
#include "settingsdialog.h"
#include "toolwindowfixture.h"
#include "velmordevicemodel.h"
#include "windowdriver.h"

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include <memory>

namespace {

QByteArray description(const QByteArray &protocol, const QByteArray &link)
{
    return "device: Boiler\nprotocol: " + protocol + "\n" + link + "id: 3\nvariables:\n  - name: T\n    addr: 1\n";
}

const QByteArray serialLink = "port: /dev/ttyUSB0\nbaudrate: 9600\n";
const QByteArray tcpLink = "host: 127.0.0.1\nport: 1502\n";

template <typename T>
T *field(QWidget *dialog, const char *name)
{
    return dialog->findChild<T *>(QLatin1String(name));
}

// Sets the item whose data is the value.
void choose(QWidget *dialog, const char *combo, const QVariant &value)
{
    auto *box = field<QComboBox>(dialog, combo);
    box->setCurrentIndex(box->findData(value));
}

} // namespace

// The dialog of every link option, through the model and from the settings dialog.
class TestLinkOptions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void everyOptionRoundTripsThroughTheModel_data();
    void everyOptionRoundTripsThroughTheModel();
    void reachedFromTheSettingsDialog();
    void reachedByKeyboard();

private:
    std::unique_ptr<ToolWindowFixture> m_tool;
};

void TestLinkOptions::init()
{
    m_tool = std::make_unique<ToolWindowFixture>();
    QVERIFY(m_tool->isReady());
}

void TestLinkOptions::cleanup()
{
    m_tool.reset();
}

void TestLinkOptions::everyOptionRoundTripsThroughTheModel_data()
{
    QTest::addColumn<QByteArray>("protocol");
    QTest::addColumn<QByteArray>("link");
    QTest::addColumn<bool>("registers");
    QTest::addColumn<bool>("serial");
    QTest::newRow("Modbus RTU") << QByteArray("ModBUS RTU") << serialLink << true << true;
    QTest::newRow("Modbus TCP") << QByteArray("ModBUS TCP") << tcpLink << true << false;
    QTest::newRow("Velmorbus RTU") << QByteArray("VelmorBUS RTU") << serialLink << false << true;
}

void TestLinkOptions::everyOptionRoundTripsThroughTheModel()
{
    QFETCH(QByteArray, protocol);
    QFETCH(QByteArray, link);
    QFETCH(bool, registers);
    QFETCH(bool, serial);
    VelmorDeviceModel device(m_tool->files().write(QStringLiteral("boiler.yml"), description(protocol, link)));
    QVERIFY(device.valid());
    LinkOptionsDialog dialog;
    dialog.load(device);
    // Accepted untouched, the dialog changes nothing: the protocol's own timeout stays.
    dialog.apply(&device);
    QCOMPARE(device.responseTimeoutMs(), 0);
    QCOMPARE(device.interQueryDelay(), 50);
    QCOMPARE(device.parity(), QStringLiteral("none"));
    QCOMPARE(field<QSpinBox>(&dialog, "spinBlock")->isEnabled(), registers);
    QCOMPARE(field<QComboBox>(&dialog, "comboWordOrder")->isEnabled(), registers);
    QCOMPARE(field<QComboBox>(&dialog, "comboParity")->isEnabled(), serial);
    QCOMPARE(field<QComboBox>(&dialog, "comboStopBits")->isEnabled(), serial);

    field<QSpinBox>(&dialog, "spinTimeout")->setValue(1234);
    field<QSpinBox>(&dialog, "spinRetries")->setValue(3);
    field<QSpinBox>(&dialog, "spinBlock")->setValue(60);
    field<QSpinBox>(&dialog, "spinGap")->setValue(4);
    field<QSpinBox>(&dialog, "spinQueryDelay")->setValue(75);
    field<QSpinBox>(&dialog, "spinUpdateDelay")->setValue(2500);
    choose(&dialog, "comboWordOrder", QStringLiteral("CDAB"));
    choose(&dialog, "comboParity", QStringLiteral("even"));
    choose(&dialog, "comboStopBits", 2);
    choose(&dialog, "comboDataBits", 7);
    dialog.apply(&device);

    QCOMPARE(device.responseTimeoutMs(), 1234);
    QCOMPARE(device.retries(), 3);
    QCOMPARE(device.blockRegisters(), 60);
    QCOMPARE(device.gapRegisters(), 4);
    QCOMPARE(device.interQueryDelay(), 75);
    QCOMPARE(device.interUpdateDelay(), 2500);
    QCOMPARE(device.wordOrder(), QStringLiteral("CDAB"));
    QCOMPARE(device.parity(), QStringLiteral("even"));
    QCOMPARE(device.stopBits(), 2);
    QCOMPARE(device.dataBits(), 7);
    LinkOptionsDialog again;
    again.load(device);
    QCOMPARE(field<QSpinBox>(&again, "spinTimeout")->value(), 1234);
    QCOMPARE(field<QSpinBox>(&again, "spinUpdateDelay")->value(), 2500);
    QCOMPARE(field<QComboBox>(&again, "comboWordOrder")->currentData().toString(), QStringLiteral("CDAB"));
    QCOMPARE(field<QComboBox>(&again, "comboParity")->currentData().toString(), QStringLiteral("even"));
    QCOMPARE(field<QComboBox>(&again, "comboDataBits")->currentData().toInt(), 7);
}

void TestLinkOptions::reachedFromTheSettingsDialog()
{
    VelmorDeviceModel *device = m_tool->driver().addDevice(
        m_tool->files().write(QStringLiteral("boiler.yml"), description("ModBUS RTU", serialLink)));
    m_tool->driver().deviceList()->setCurrentRow(0);
    bool optionsShown = false;
    ModalWatcher options(LinkOptionsDialog::staticMetaObject, [&optionsShown](QWidget *dialog) {
        optionsShown = true;
        choose(dialog, "comboParity", QStringLiteral("odd"));
        clickDialogButton(dialog, QDialogButtonBox::Ok);
    });
    ModalWatcher settings(SettingsDialog::staticMetaObject, [](QWidget *dialog) {
        field<QPushButton>(dialog, "buttonLinkOptions")->click();
        clickDialogButton(dialog, QDialogButtonBox::Cancel);
    });

    m_tool->driver().chooseFromMenu(0, QStringLiteral("actionDeviceSettings"));

    QTRY_VERIFY(settings.seen());
    QVERIFY(optionsShown);
    QCOMPARE(device->parity(), QStringLiteral("odd"));
    QVERIFY(m_tool->driver().statusText().contains(QStringLiteral("при следующем подключении")));
}

void TestLinkOptions::reachedByKeyboard()
{
    VelmorDeviceModel *device = m_tool->driver().addDevice(
        m_tool->files().write(QStringLiteral("boiler.yml"), description("ModBUS TCP", tcpLink)));
    m_tool->driver().deviceList()->setCurrentRow(0);
    ModalWatcher options(LinkOptionsDialog::staticMetaObject, [](QWidget *dialog) {
        field<QSpinBox>(dialog, "spinRetries")->setValue(5);
        clickDialogButton(dialog, QDialogButtonBox::Ok);
    });

    QTest::keyClick(&m_tool->window(), Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);

    QTRY_VERIFY(options.seen());
    QCOMPARE(device->retries(), 5);
}

QTEST_MAIN(TestLinkOptions)
#include "tst_linkoptions.moc"
