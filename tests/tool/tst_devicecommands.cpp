#include "bitfielddialog.h"
#include "bitfieldsession.h"
#include "descriptiondir.h"
#include "dialogbutton.h"
#include "emptycurrentdir.h"
#include "mainwindow.h"
#include "modalwatcher.h"
#include "ptypeer.h"
#include "sampledescriptions.h"
#include "settingsdialog.h"
#include "toolwindowfixture.h"
#include "velmordevicemodel.h"
#include "windowdriver.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSpinBox>
#include <QStatusBar>
#include <QTreeView>
#include <QtTest>

#include <memory>

namespace {
const QByteArray boilerRtu = R"(device: Boiler room 2
protocol: ModBUS RTU
port: COM3
baudrate: 19200
id: 1
variables:
  - name: T1
    addr: 16
    type: int16
    desc: Supply temperature
    value: 21
  - name: Mode
    addr: 20
    type: int16
    rw: true
    bitfield: true
    desc: Operating mode
    value: 5
  - name: Alarms
    addr: 22
    type: int32
    bitfield: true
    desc: Alarm flags
    value: 1027
  - name: Flags
    addr: 24
    type: int32
    rw: true
    bitfield: true
    desc: Output flags
    value: 4294967294
  - name: Relays
    addr: 26
    type: int16
    rw: true
    bitfield: true
    desc: Relay outputs
    value: abc
  - name: Setpoint
    addr: 28
    type: int16
    rw: true
    desc: Supply setpoint
    value: 55
)";

using SampleDescriptions::pumpTcp;

enum Variable { T1, Mode, Alarms, Flags, Relays, Setpoint };

QString heldValue(const VelmorDeviceModel *device, Variable variable)
{
    return device->getVarAttr(variable, QStringLiteral("value")).toString();
}

quint32 heldPattern(const VelmorDeviceModel *device, Variable variable)
{
    return quint32(device->getVarAttr(variable, QStringLiteral("value")).toLongLong());
}

template <typename T>
T *child(QWidget *parent, const char *name)
{
    return parent->findChild<T *>(QLatin1String(name));
}

// What the connection settings dialog shows when it opens.
struct ShownSettings {
    bool rtuEnabled = false;
    bool tcpEnabled = false;
    QString serialPort;
    QString baudRate;
    int devId = 0;
    QString tcpHost;
    int tcpPort = 0;
};

ShownSettings shownSettings(QWidget *dialog)
{
    ShownSettings shown;
    shown.rtuEnabled = child<QGroupBox>(dialog, "groupRTU")->isEnabled();
    shown.tcpEnabled = child<QGroupBox>(dialog, "groupTcp")->isEnabled();
    shown.serialPort = child<QComboBox>(dialog, "comboSerialPort")->currentText();
    shown.baudRate = child<QComboBox>(dialog, "comboBaudrate")->currentText();
    shown.devId = child<QSpinBox>(dialog, "spinDevId")->value();
    shown.tcpHost = child<QLineEdit>(dialog, "lineTcpHost")->text();
    shown.tcpPort = child<QSpinBox>(dialog, "spiTcpPort")->value();
    return shown;
}

MenuChoice::Entry entry(const char *name, const char *text, bool enabled, bool checked = false)
{
    return MenuChoice::Entry{QLatin1String(name), QString::fromUtf8(text), enabled, checked};
}

MenuChoice::Entry separator()
{
    return MenuChoice::Entry{QStringLiteral("separator"), QString(), true, false};
}

// The device context menu as it opens for a disconnected or a connected device.
QList<MenuChoice::Entry> deviceMenu(bool connected)
{
    return {entry("actionConnect", connected ? "Отключиться" : "Подключиться", true, connected),
            separator(),
            entry("actionUpdateDevice", "Обновить переменные", connected),
            entry("actionAutoUpdate", "Обновлять непрерывно", connected, false),
            separator(),
            entry("actionDeviceSettings", "Настройки связи", true),
            separator(),
            entry("actionStoreToFlash", "Сохранение конфигурации", connected),
            separator(),
            entry("actionCloseDevice", "Закрыть", true)};
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget *widget)
    {
        widget->installEventFilter(this);
    }

    int count() const
    {
        return m_count;
    }

    void reset()
    {
        m_count = 0;
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++m_count;
        return QObject::eventFilter(watched, event);
    }

private:
    int m_count = 0;
};
}

class TestDeviceCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void noMenuOnEmptySpace();
    void menuOfDisconnectedDevice();
    void connectAndDisconnectFromMenu();
    void menuActsOnTheRightClickedDevice();
    void failedConnectShowsError_data();
    void failedConnectShowsError();
    void actionsWithoutCurrentDeviceDoNothing();

    void settingsSerialAccepted();
    void settingsSerialCancelled();
    void settingsNetworkAccepted();
    void settingsNetworkCancelled();
    void settingsAddressClamped_data();
    void settingsAddressClamped();
    void settingsFromMenu();

    void doubleClickOpensNothing_data();
    void doubleClickOpensNothing();
    void bitfieldWritable();
    void bitfieldCancelled();
    void bitfieldReadOnly();
    void bitfieldValueNotANumberLoadsZero();
    void bitfieldHeldUnsignedKeepsItsBits();
    void bitfieldFlagsReadAsYamlBooleans_data();
    void bitfieldFlagsReadAsYamlBooleans();
    void doubleClickInlineEditor_data();
    void doubleClickInlineEditor();
    void typedValue_data();
    void typedValue();
    void bitfieldBeyondItsTypeRefused();

    void statusLastMessageWins();
    void updateViewportRepaintsTree();
    void burstOfPolledValuesRepaintsOnce();

private:
    // Loads the description as the only device and selects it, so the tree shows its variables.
    VelmorDeviceModel *selectOnlyDevice(const QString &fileName, const QByteArray &description);

    std::unique_ptr<ToolWindowFixture> m_tool;
    DescriptionDir *m_files = nullptr;
    WindowDriver *m_driver = nullptr;
};

void TestDeviceCommands::initTestCase()
{
    qRegisterMetaType<QModelIndex>();
}

void TestDeviceCommands::init()
{
    m_tool = std::make_unique<ToolWindowFixture>();
    QVERIFY(m_tool->isReady());
    m_files = &m_tool->files();
    m_driver = &m_tool->driver();
}

void TestDeviceCommands::cleanup()
{
    m_driver = nullptr;
    m_files = nullptr;
    m_tool.reset();
}

VelmorDeviceModel *TestDeviceCommands::selectOnlyDevice(const QString &fileName, const QByteArray &description)
{
    VelmorDeviceModel *device = m_driver->addDevice(m_files->write(fileName, description));
    m_driver->deviceList()->setCurrentRow(0);
    return device;
}

void TestDeviceCommands::noMenuOnEmptySpace()
{
    m_driver->addDevice(m_files->write(QStringLiteral("boiler.yml"), boilerRtu));
    QWidget *viewport = m_driver->deviceList()->viewport();
    const QPoint empty(10, viewport->height() - 5);
    QVERIFY(!m_driver->deviceList()->itemAt(empty));

    MenuChoice menu;
    ModalWatcher watcher(QMenu::staticMetaObject, std::ref(menu));
    m_driver->rightClick(empty);
    QVERIFY(!watcher.seen());
}

void TestDeviceCommands::menuOfDisconnectedDevice()
{
    m_driver->addDevice(m_files->write(QStringLiteral("boiler.yml"), boilerRtu));

    const MenuChoice menu = m_driver->chooseFromMenu(0);

    QCOMPARE(menu.entries, deviceMenu(false));
    QVERIFY(!menu.menuHadParent);
    QCOMPARE(m_driver->deviceList()->currentRow(), 0);
}

void TestDeviceCommands::connectAndDisconnectFromMenu()
{
    PtyPeer line;
    QVERIFY(line.isOpen());
    const QByteArray description = "device: Heat meter\nprotocol: VelmorBUS RTU\nport: " + line.slavePath().toUtf8()
                                   + "\nbaudrate: 9600\nid: 33\nvariables:\n  - name: E\n    addr: 32\n";
    VelmorDeviceModel *device = m_driver->addDevice(m_files->write(QStringLiteral("meter.yml"), description));

    m_driver->chooseFromMenu(0, QStringLiteral("actionConnect"));
    QVERIFY(device->connected());

    const MenuChoice connectedMenu = m_driver->chooseFromMenu(0, QStringLiteral("actionConnect"));
    QCOMPARE(connectedMenu.entries, deviceMenu(true));
    QVERIFY(!device->connected());

    // The states stay on the actions until the next menu.
    QVERIFY(m_driver->action("actionUpdateDevice")->isEnabled());
    QCOMPARE(m_driver->action("actionConnect")->text(), QStringLiteral("Отключиться"));

    const MenuChoice againMenu = m_driver->chooseFromMenu(0);
    QCOMPARE(againMenu.entries.first(), deviceMenu(false).first());
    QVERIFY(!m_driver->action("actionUpdateDevice")->isEnabled());
}

void TestDeviceCommands::menuActsOnTheRightClickedDevice()
{
    m_driver->addDevice(m_files->write(QStringLiteral("boiler.yml"), boilerRtu));
    m_driver->addDevice(m_files->write(QStringLiteral("pump.yml"), pumpTcp));
    m_driver->deviceList()->setCurrentRow(0);

    m_driver->chooseFromMenu(1, QStringLiteral("actionCloseDevice"));

    QCOMPARE(m_driver->deviceList()->count(), 1);
    QCOMPARE(m_driver->deviceAt(0)->devName(), QStringLiteral("Boiler room 2"));
}

void TestDeviceCommands::failedConnectShowsError_data()
{
    QTest::addColumn<QByteArray>("link");
    QTest::addColumn<QString>("linkText");
    QTest::addColumn<bool>("systemReason");

    const QByteArray absentPort = "port: /dev/nonexistent-velmor-port\nbaudrate: 19200\nid: 1\n";
    const QString absentPortText = QStringLiteral("Unable open serial port /dev/nonexistent-velmor-port (baudrate: 19200)");
    QTest::newRow("ModBUS RTU, absent port") << "protocol: ModBUS RTU\n" + absentPort << absentPortText << true;
    QTest::newRow("VelmorBUS RTU, absent port") << "protocol: VelmorBUS RTU\n" + absentPort << absentPortText << true;

    QTest::newRow("ModBUS RTU, broadcast address")
        << QByteArray("protocol: ModBUS RTU\nport: /dev/nonexistent-velmor-port\nid: 0\n")
        << "Modbus RTU address 0 reaches no single device: give the device an id from 1 to 247" << false;
}

void TestDeviceCommands::failedConnectShowsError()
{
    QFETCH(QByteArray, link);
    QFETCH(QString, linkText);
    QFETCH(bool, systemReason);

    const QByteArray description = "device: Boiler\n" + link + "variables: []\n";
    VelmorDeviceModel *device = m_driver->addDevice(m_files->write(QStringLiteral("boiler.yml"), description));
    QSignalSpy failures(device, &VelmorDeviceModel::connectFailed);

    m_driver->chooseFromMenu(0, QStringLiteral("actionConnect"));

    QCOMPARE(failures.count(), 1);
    QVERIFY(!device->connected());
    const QString reason = failures.first().first().toString();
    QVERIFY(!reason.isEmpty());
    QCOMPARE(m_driver->statusText(), systemReason ? linkText + QStringLiteral(": ") + reason : linkText);
}

void TestDeviceCommands::actionsWithoutCurrentDeviceDoNothing()
{
    m_driver->addDevice(m_files->write(QStringLiteral("boiler.yml"), boilerRtu));
    QVERIFY(!m_driver->deviceList()->currentItem());
    const char *actions[] = {"actionConnect", "actionUpdateDevice", "actionAutoUpdate", "actionStoreToFlash",
                             "actionDeviceSettings", "actionCloseDevice"};
    ModalWatcher watcher(QWidget::staticMetaObject, [](QWidget *modal) { modal->close(); });
    for (const char *name : actions) {
        m_driver->action(name)->setEnabled(true);
        m_driver->action(name)->trigger();
    }
    QVERIFY(!watcher.seen());
    QCOMPARE(m_driver->deviceList()->count(), 1);
    QVERIFY(!m_driver->deviceAt(0)->connected());
    QVERIFY(!m_driver->deviceAt(0)->autoUpdate());
}

void TestDeviceCommands::settingsSerialAccepted()
{
    VelmorDeviceModel *device = selectOnlyDevice(QStringLiteral("boiler.yml"), boilerRtu);

    ShownSettings shown;
    ModalWatcher watcher(SettingsDialog::staticMetaObject, [&](QWidget *modal) {
        shown = shownSettings(modal);
        child<QComboBox>(modal, "comboSerialPort")->setEditText(QStringLiteral("COM9"));
        child<QComboBox>(modal, "comboBaudrate")->setCurrentIndex(3);
        child<QSpinBox>(modal, "spinDevId")->setValue(12);
        clickDialogButton(modal, QDialogButtonBox::Ok);
    });
    m_driver->action("actionDeviceSettings")->trigger();

    QVERIFY(watcher.seen());
    QVERIFY(!shown.tcpEnabled);
    QVERIFY(shown.rtuEnabled);
    QCOMPARE(shown.serialPort, QStringLiteral("COM3"));
    QCOMPARE(shown.baudRate, QStringLiteral("19200"));
    QCOMPARE(shown.devId, 1);
    QCOMPARE(shown.tcpHost, QString());
    QCOMPARE(shown.tcpPort, 502);
    QCOMPARE(device->serialPort(), QStringLiteral("COM9"));
    QCOMPARE(device->baudRate(), 57600);
    QCOMPARE(device->devId(), 12);
    QCOMPARE(m_driver->deviceList()->item(0)->text(),
             QStringLiteral("Boiler room 2\nproto: ModBUS RTU\nid: 12\nport: COM9 (57600)"));
}

void TestDeviceCommands::settingsSerialCancelled()
{
    VelmorDeviceModel *device = selectOnlyDevice(QStringLiteral("boiler.yml"), boilerRtu);
    const QString text = m_driver->deviceList()->item(0)->text();
    QSignalSpy portChanges(device, &VelmorDeviceModel::serialPortChanged);
    QSignalSpy idChanges(device, &VelmorDeviceModel::devIdChanged);

    ModalWatcher watcher(SettingsDialog::staticMetaObject, [](QWidget *modal) {
        child<QComboBox>(modal, "comboSerialPort")->setEditText(QStringLiteral("COM9"));
        child<QSpinBox>(modal, "spinDevId")->setValue(12);
        clickDialogButton(modal, QDialogButtonBox::Cancel);
    });
    m_driver->action("actionDeviceSettings")->trigger();

    QVERIFY(watcher.seen());
    QCOMPARE(device->serialPort(), QStringLiteral("COM3"));
    QCOMPARE(device->devId(), 1);
    QCOMPARE(portChanges.count(), 0);
    QCOMPARE(idChanges.count(), 0);
    QCOMPARE(m_driver->deviceList()->item(0)->text(), text);
}

void TestDeviceCommands::settingsNetworkAccepted()
{
    VelmorDeviceModel *device = selectOnlyDevice(QStringLiteral("pump.yml"), pumpTcp);
    const QString serialPortBefore = device->serialPort();
    const int baudRateBefore = device->baudRate();
    QSignalSpy portChanges(device, &VelmorDeviceModel::serialPortChanged);
    QSignalSpy baudChanges(device, &VelmorDeviceModel::baudRateChanged);

    ShownSettings shown;
    ModalWatcher watcher(SettingsDialog::staticMetaObject, [&](QWidget *modal) {
        shown = shownSettings(modal);
        child<QLineEdit>(modal, "lineTcpHost")->setText(QStringLiteral("192.168.1.20"));
        child<QSpinBox>(modal, "spiTcpPort")->setValue(5020);
        child<QSpinBox>(modal, "spinDevId")->setValue(9);
        clickDialogButton(modal, QDialogButtonBox::Ok);
    });
    m_driver->action("actionDeviceSettings")->trigger();

    QVERIFY(watcher.seen());
    QVERIFY(!shown.rtuEnabled);
    QCOMPARE(shown.tcpHost, QStringLiteral("10.0.0.5"));
    QCOMPARE(shown.tcpPort, 1502);
    QCOMPARE(shown.baudRate, QStringLiteral("115200"));
    QCOMPARE(shown.devId, 7);
    QCOMPARE(device->tcpHost(), QStringLiteral("192.168.1.20"));
    QCOMPARE(device->tcpPort(), 5020);
    QCOMPARE(device->devId(), 9);
    QCOMPARE(device->serialPort(), serialPortBefore);
    QCOMPARE(device->baudRate(), baudRateBefore);
    QCOMPARE(portChanges.count(), 0);
    QCOMPARE(baudChanges.count(), 0);
    QCOMPARE(m_driver->deviceList()->item(0)->text(),
             QStringLiteral("Pump station\nproto: ModBUS TCP\nid: 9\nhost: 192.168.1.20:5020"));
}

void TestDeviceCommands::settingsNetworkCancelled()
{
    VelmorDeviceModel *device = selectOnlyDevice(QStringLiteral("pump.yml"), pumpTcp);

    ModalWatcher watcher(SettingsDialog::staticMetaObject, [](QWidget *modal) {
        child<QLineEdit>(modal, "lineTcpHost")->setText(QStringLiteral("192.168.1.20"));
        child<QSpinBox>(modal, "spiTcpPort")->setValue(5020);
        clickDialogButton(modal, QDialogButtonBox::Cancel);
    });
    m_driver->action("actionDeviceSettings")->trigger();

    QVERIFY(watcher.seen());
    QCOMPARE(device->tcpHost(), QStringLiteral("10.0.0.5"));
    QCOMPARE(device->tcpPort(), 1502);
    QCOMPARE(m_driver->deviceList()->item(0)->text(),
             QStringLiteral("Pump station\nproto: ModBUS TCP\nid: 7\nhost: 10.0.0.5:1502"));
}

void TestDeviceCommands::settingsAddressClamped_data()
{
    QTest::addColumn<int>("fileId");
    QTest::addColumn<int>("stored");

    QTest::newRow("0 becomes 1") << 0 << 1;
    QTest::newRow("255 becomes 254") << 255 << 254;
    QTest::newRow("100 stays") << 100 << 100;
}

void TestDeviceCommands::settingsAddressClamped()
{
    QFETCH(int, fileId);
    QFETCH(int, stored);

    const QByteArray description =
        "device: Boiler\nprotocol: ModBUS RTU\nport: COM3\nid: " + QByteArray::number(fileId) + "\nvariables: []\n";
    VelmorDeviceModel *device = selectOnlyDevice(QStringLiteral("boiler.yml"), description);

    int shownId = -1;
    ModalWatcher watcher(SettingsDialog::staticMetaObject, [&](QWidget *modal) {
        shownId = child<QSpinBox>(modal, "spinDevId")->value();
        clickDialogButton(modal, QDialogButtonBox::Ok);
    });
    m_driver->action("actionDeviceSettings")->trigger();

    QCOMPARE(shownId, stored);
    QCOMPARE(device->devId(), stored);
    QVERIFY(m_driver->deviceList()->item(0)->text().contains(QStringLiteral("\nid: %1\n").arg(stored)));
}

void TestDeviceCommands::settingsFromMenu()
{
    m_driver->addDevice(m_files->write(QStringLiteral("boiler.yml"), boilerRtu));
    VelmorDeviceModel *pump = m_driver->addDevice(m_files->write(QStringLiteral("pump.yml"), pumpTcp));

    ModalWatcher dialog(SettingsDialog::staticMetaObject, [](QWidget *modal) {
        child<QSpinBox>(modal, "spinDevId")->setValue(42);
        clickDialogButton(modal, QDialogButtonBox::Ok);
    });
    m_driver->chooseFromMenu(1, QStringLiteral("actionDeviceSettings"));

    QVERIFY(dialog.seen());
    QCOMPARE(pump->devId(), 42);
    QCOMPARE(m_driver->deviceAt(0)->devId(), 1);
}

void TestDeviceCommands::doubleClickOpensNothing_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");

    QTest::newRow("address of a bit field") << int(Mode) << 0;
    QTest::newRow("name of a bit field") << int(Mode) << 1;
    QTest::newRow("description of a bit field") << int(Mode) << 3;
    QTest::newRow("value of a plain variable") << int(T1) << 2;
}

void TestDeviceCommands::doubleClickOpensNothing()
{
    QFETCH(int, row);
    QFETCH(int, column);

    VelmorDeviceModel *device = selectOnlyDevice(QStringLiteral("boiler.yml"), boilerRtu);
    QTreeView *tree = m_driver->variableTree();
    QSignalSpy doubleClicks(tree, &QAbstractItemView::doubleClicked);
    QSignalSpy changes(device, &QAbstractItemModel::dataChanged);

    ModalWatcher watcher(QWidget::staticMetaObject, [](QWidget *modal) { modal->close(); });
    const QModelIndex index = device->index(row, column);
    m_driver->doubleClick(index);

    QCOMPARE(doubleClicks.count(), 1);
    QVERIFY(!watcher.seen());
    QCOMPARE(changes.count(), 0);
}

void TestDeviceCommands::bitfieldWritable()
{
    VelmorDeviceModel *device = selectOnlyDevice(QStringLiteral("boiler.yml"), boilerRtu);
    QSignalSpy changes(device, &QAbstractItemModel::dataChanged);

    BitfieldSession session;
    session.toggle = {1, 15};
    ModalWatcher watcher(BitfieldDialog::staticMetaObject, std::ref(session));
    m_driver->doubleClick(device->index(Mode, 2));

    QVERIFY(watcher.seen());
    QVERIFY(session.boxesEnabled);
    QCOMPARE(session.checkedBits, (QList<int>{0, 2}));
    QCOMPARE(changes.count(), 1);
    QCOMPARE(heldValue(device, Mode), QStringLiteral("32775"));
}

void TestDeviceCommands::bitfieldCancelled()
{
    VelmorDeviceModel *device = selectOnlyDevice(QStringLiteral("boiler.yml"), boilerRtu);
    QSignalSpy changes(device, &QAbstractItemModel::dataChanged);

    BitfieldSession session;
    session.toggle = {1};
    session.button = QDialogButtonBox::Cancel;
    ModalWatcher watcher(BitfieldDialog::staticMetaObject, std::ref(session));
    m_driver->doubleClick(device->index(Mode, 2));

    QVERIFY(watcher.seen());
    QCOMPARE(changes.count(), 0);
    QCOMPARE(heldValue(device, Mode), QStringLiteral("5"));
}

void TestDeviceCommands::bitfieldReadOnly()
{
    VelmorDeviceModel *device = selectOnlyDevice(QStringLiteral("boiler.yml"), boilerRtu);
    QSignalSpy changes(device, &QAbstractItemModel::dataChanged);

    BitfieldSession session;
    session.toggle = {3};
    ModalWatcher watcher(BitfieldDialog::staticMetaObject, std::ref(session));
    m_driver->doubleClick(device->index(Alarms, 2));

    QVERIFY(watcher.seen());
    QVERIFY(!session.boxesEnabled);
    QCOMPARE(session.checkedBits, (QList<int>{0, 1, 10}));
    QCOMPARE(changes.count(), 0);
    QCOMPARE(heldValue(device, Alarms), QStringLiteral("1027"));
}

void TestDeviceCommands::bitfieldValueNotANumberLoadsZero()
{
    VelmorDeviceModel *device = selectOnlyDevice(QStringLiteral("boiler.yml"), boilerRtu);

    BitfieldSession session;
    ModalWatcher watcher(BitfieldDialog::staticMetaObject, std::ref(session));
    m_driver->doubleClick(device->index(Relays, 2));

    QVERIFY(watcher.seen());
    QCOMPARE(session.checkedBits, QList<int>());
    QCOMPARE(heldValue(device, Relays), QStringLiteral("0"));
}

void TestDeviceCommands::bitfieldHeldUnsignedKeepsItsBits()
{
    // An "int32" bit field with bit 31 set is held unsigned, above the int range.
    VelmorDeviceModel *device = selectOnlyDevice(QStringLiteral("boiler.yml"), boilerRtu);

    BitfieldSession session;
    ModalWatcher watcher(BitfieldDialog::staticMetaObject, std::ref(session));
    m_driver->doubleClick(device->index(Flags, 2));

    QVERIFY(watcher.seen());
    QList<int> bitsOneTo31;
    for (int bit = 1; bit < 32; ++bit)
        bitsOneTo31.append(bit);
    QCOMPARE(session.checkedBits, bitsOneTo31);
    QCOMPARE(heldPattern(device, Flags), 4294967294u);
}

void TestDeviceCommands::bitfieldFlagsReadAsYamlBooleans_data()
{
    QTest::addColumn<QByteArray>("bitfield");
    QTest::addColumn<QByteArray>("rw");
    QTest::addColumn<bool>("dialogOpens");
    QTest::addColumn<bool>("writes");

    for (const char *no : {"off", "no", "false", "\"0\""}) {
        QTest::addRow("bitfield: %s", no) << QByteArray(no) << QByteArray("true") << false << false;
        QTest::addRow("rw: %s", no) << QByteArray("true") << QByteArray(no) << true << false;
    }
    for (const char *yes : {"yes", "on", "true"})
        QTest::addRow("bitfield and rw: %s", yes) << QByteArray(yes) << QByteArray(yes) << true << true;
}

void TestDeviceCommands::bitfieldFlagsReadAsYamlBooleans()
{
    QFETCH(QByteArray, bitfield);
    QFETCH(QByteArray, rw);
    QFETCH(bool, dialogOpens);
    QFETCH(bool, writes);

    const QByteArray description = "device: Boiler\nprotocol: ModBUS RTU\nport: COM3\nid: 1\nvariables:\n"
                                   "  - name: Mode\n    addr: 20\n    type: int16\n    value: 5\n"
                                   "    rw: " + rw + "\n    bitfield: " + bitfield + "\n";
    VelmorDeviceModel *device = selectOnlyDevice(QStringLiteral("boiler.yml"), description);
    QSignalSpy changes(device, &QAbstractItemModel::dataChanged);

    BitfieldSession session;
    session.toggle = {1};
    ModalWatcher watcher(BitfieldDialog::staticMetaObject, std::ref(session));
    m_driver->doubleClick(device->index(0, 2));

    QCOMPARE(watcher.seen(), dialogOpens);
    QCOMPARE(session.boxesEnabled, writes);
    QCOMPARE(changes.count(), writes ? 1 : 0);
    QCOMPARE(device->getVarAttr(0, QStringLiteral("value")).toString(), writes ? QStringLiteral("7") : QStringLiteral("5"));
}

void TestDeviceCommands::statusLastMessageWins()
{
    VelmorDeviceModel *boiler = m_driver->addDevice(m_files->write(QStringLiteral("boiler.yml"), boilerRtu));
    VelmorDeviceModel *pump = m_driver->addDevice(m_files->write(QStringLiteral("pump.yml"), pumpTcp));
    m_driver->deviceList()->setCurrentRow(0);

    QMetaObject::invokeMethod(boiler, "updateFinished", Q_ARG(int, 12));
    QMetaObject::invokeMethod(pump, "updateFinished", Q_ARG(int, 3050));
    QCOMPARE(m_driver->statusText(), QStringLiteral("Pump station :: Обновление завершено (3050 мс)"));

    m_driver->addDevice(m_files->write(QStringLiteral("broken.yml"), "protocol: VelmorBUS TCP\nvariables: []\n"));
    QVERIFY(m_driver->statusText().startsWith(QStringLiteral("Model is invalid, unable to load: ")));
}

void TestDeviceCommands::updateViewportRepaintsTree()
{
    VelmorDeviceModel *device = selectOnlyDevice(QStringLiteral("boiler.yml"), boilerRtu);
    QWidget *viewport = m_driver->variableTree()->viewport();
    PaintCounter paints(viewport);
    QTRY_VERIFY(paints.count() > 0);
    QCoreApplication::processEvents();
    paints.reset();

    // A polled value is not announced through dataChanged; only the repaint shows it.
    QMetaObject::invokeMethod(device, "updateViewport");
    QTRY_VERIFY(paints.count() > 0);
}

void TestDeviceCommands::burstOfPolledValuesRepaintsOnce()
{
    VelmorDeviceModel *device = selectOnlyDevice(QStringLiteral("boiler.yml"), boilerRtu);
    QWidget *viewport = m_driver->variableTree()->viewport();
    PaintCounter paints(viewport);
    QTRY_VERIFY(paints.count() > 0);
    QCoreApplication::processEvents();
    paints.reset();

    // A hundred values stored in quick succession, each in its own turn of the event loop.
    for (int i = 0; i < 100; ++i) {
        QMetaObject::invokeMethod(device, "updateViewport");
        QCoreApplication::processEvents();
    }
    QTRY_VERIFY(paints.count() > 0);
    QVERIFY2(paints.count() < 20, qPrintable(QString::number(paints.count())));
}


void TestDeviceCommands::doubleClickInlineEditor_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("dialogButton");
    QTest::addColumn<bool>("editorOpens");

    QTest::newRow("bit field, dialog accepted") << int(Mode) << int(QDialogButtonBox::Ok) << false;
    QTest::newRow("bit field, dialog cancelled") << int(Mode) << int(QDialogButtonBox::Cancel) << false;
    QTest::newRow("plain writable value") << int(Setpoint) << int(QDialogButtonBox::Ok) << true;
}

void TestDeviceCommands::doubleClickInlineEditor()
{
    QFETCH(int, row);
    QFETCH(int, dialogButton);
    QFETCH(bool, editorOpens);

    VelmorDeviceModel *device = selectOnlyDevice(QStringLiteral("boiler.yml"), boilerRtu);
    BitfieldSession session;
    session.button = QDialogButtonBox::StandardButton(dialogButton);
    ModalWatcher watcher(BitfieldDialog::staticMetaObject, std::ref(session));
    m_driver->doubleClick(device->index(row, 2));

    QCOMPARE(watcher.seen(), !editorOpens);
    QCOMPARE(bool(m_driver->variableTree()->viewport()->findChild<QLineEdit *>()), editorOpens);
}


void TestDeviceCommands::typedValue_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("held");
    QTest::addColumn<QString>("status");

    QTest::newRow("not a number")
        << "abc" << "55"
        << "Boiler room 2 :: Setpoint: «abc» — не число (или дробь для целочисленной переменной), значение не изменено";
    QTest::newRow("fraction in int16")
        << "61,5" << "55"
        << "Boiler room 2 :: Setpoint: «61,5» — не число (или дробь для целочисленной переменной), значение не изменено";
    QTest::newRow("above int16") << "70000" << "55"
                                 << "Boiler room 2 :: Setpoint: 70000 вне диапазона -32768…32767, значение не изменено";
    QTest::newRow("below int16") << "-32769" << "55"
                                 << "Boiler room 2 :: Setpoint: -32769 вне диапазона -32768…32767, значение не изменено";
    QTest::newRow("least int16") << "-32768" << "-32768" << QString();
}

void TestDeviceCommands::typedValue()
{
    QFETCH(QString, typed);
    QFETCH(QString, held);
    QFETCH(QString, status);

    VelmorDeviceModel *device = selectOnlyDevice(QStringLiteral("boiler.yml"), boilerRtu);
    m_tool->window().statusBar()->clearMessage();
    const QModelIndex cell = device->index(Setpoint, 2);
    m_driver->doubleClick(cell);
    auto *editor = m_driver->variableTree()->viewport()->findChild<QLineEdit *>();
    QVERIFY(editor);
    editor->setText(typed);
    QTest::keyClick(editor, Qt::Key_Return);

    // The editor hands its value over in a later turn of the event loop, then closes.
    QTRY_VERIFY(!m_driver->variableTree()->viewport()->findChild<QLineEdit *>());
    QCOMPARE(m_driver->statusText(), status);
    QCOMPARE(heldValue(device, Setpoint), held);
    QCOMPARE(device->data(cell).toString(), held);
}

void TestDeviceCommands::bitfieldBeyondItsTypeRefused()
{
    VelmorDeviceModel *device = selectOnlyDevice(QStringLiteral("boiler.yml"), boilerRtu);
    QSignalSpy changes(device, &QAbstractItemModel::dataChanged);

    // Bit 16 does not fit the 16 bits of an "int16" bit field.
    BitfieldSession session;
    session.toggle = {16};
    ModalWatcher watcher(BitfieldDialog::staticMetaObject, std::ref(session));
    m_driver->doubleClick(device->index(Mode, 2));

    QVERIFY(watcher.seen());
    QCOMPARE(changes.count(), 0);
    QCOMPARE(heldValue(device, Mode), QStringLiteral("5"));
    QCOMPARE(m_driver->statusText(),
             QStringLiteral("Boiler room 2 :: Mode: 65541 вне диапазона 0…65535, значение не изменено"));
}

QTEST_MAIN(TestDeviceCommands)
#include "tst_devicecommands.moc"
