#include "bitfielddialog.h"
#include "descriptiondir.h"
#include "mainwindow.h"
#include "modalwatcher.h"
#include "ptypeer.h"
#include "settingsdialog.h"
#include "velmordevicemodel.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTreeView>
#include <QtTest>

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
)";

const QByteArray pumpTcp = R"(device: Pump station
protocol: ModBUS TCP
host: 10.0.0.5
port: 1502
id: 7
variables:
  - name: P
    addr: 1
)";

enum Variable { T1, Mode, Alarms, Flags, Relays };

QListWidget *deviceList(const MainWindow &window)
{
    return window.findChild<QListWidget *>(QStringLiteral("listDevices"));
}

QTreeView *variableTree(const MainWindow &window)
{
    return window.findChild<QTreeView *>(QStringLiteral("treeView"));
}

QString statusText(const MainWindow &window)
{
    return window.findChild<QStatusBar *>(QStringLiteral("statusBar"))->currentMessage();
}

QAction *action(const MainWindow &window, const char *name)
{
    return window.findChild<QAction *>(QLatin1String(name));
}

VelmorDeviceModel *deviceAt(const MainWindow &window, int row)
{
    return qobject_cast<VelmorDeviceModel *>(deviceList(window)->item(row)->data(Qt::UserRole).value<QObject *>());
}

VelmorDeviceModel *addDevice(MainWindow &window, const QString &path)
{
    QMetaObject::invokeMethod(&window, "addDeviceToList", Q_ARG(QString, path));
    return deviceAt(window, deviceList(window)->count() - 1);
}

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

void clickButton(QWidget *dialog, QDialogButtonBox::StandardButton which)
{
    child<QDialogButtonBox>(dialog, "buttonBox")->button(which)->click();
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

// One line of a shown context menu.
struct MenuEntry {
    QString name;
    QString text;
    bool enabled = false;
    bool checked = false;

    bool operator==(const MenuEntry &other) const
    {
        return name == other.name && text == other.text && enabled == other.enabled && checked == other.checked;
    }
};

MenuEntry entry(const char *name, const char *text, bool enabled, bool checked = false)
{
    return MenuEntry{QLatin1String(name), QString::fromUtf8(text), enabled, checked};
}

MenuEntry separator()
{
    return MenuEntry{QStringLiteral("separator"), QString(), true, false};
}

// Records the shown menu, then clicks the entry named choice, or closes the menu.
struct MenuChoice {
    QString choice;
    QList<MenuEntry> entries;
    bool menuHadParent = true;

    void operator()(QWidget *popup)
    {
        auto *menu = qobject_cast<QMenu *>(popup);
        menuHadParent = menu->parentWidget() != nullptr;
        const QList<QAction *> actions = menu->actions();
        QAction *chosen = nullptr;
        for (QAction *action : actions) {
            if (action->isSeparator()) {
                entries.append(separator());
                continue;
            }
            entries.append(MenuEntry{action->objectName(), action->text(), action->isEnabled(), action->isChecked()});
            if (action->objectName() == choice)
                chosen = action;
        }
        if (chosen && chosen->isEnabled())
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(chosen).center());
        else
            menu->close();
    }
};

// Right-clicks the list at pos as a user does: the press makes the item current,
// then the context menu event follows.
void rightClick(MainWindow &window, const QPoint &pos)
{
    QWidget *viewport = deviceList(window)->viewport();
    QTest::mouseClick(viewport, Qt::RightButton, {}, pos);
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, viewport->mapToGlobal(pos));
    QApplication::sendEvent(viewport, &event);
}

// A user's double click: press, release, then the double-click event and its release.
void doubleClick(QTreeView *tree, const QModelIndex &index)
{
    const QPoint pos = tree->visualRect(index).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseRelease(tree->viewport(), Qt::LeftButton, {}, pos);
}

QPoint itemCentre(const MainWindow &window, int row)
{
    QListWidget *list = deviceList(window);
    return list->visualItemRect(list->item(row)).center();
}

// Opens the device's context menu and picks an entry (none: just closes it).
MenuChoice useContextMenu(MainWindow &window, int row, const QString &choice = QString())
{
    MenuChoice menu;
    menu.choice = choice;
    ModalWatcher watcher(QMenu::staticMetaObject, std::ref(menu));
    rightClick(window, itemCentre(window, row));
    return menu;
}

// What a shown bit-field editor held, and the bits to toggle before leaving it.
struct BitfieldSession {
    QList<int> toggle;
    QDialogButtonBox::StandardButton button = QDialogButtonBox::Ok;
    QList<int> checkedBits;
    bool boxesEnabled = false;

    void operator()(QWidget *modal)
    {
        const QList<QCheckBox *> boxes = modal->findChildren<QCheckBox *>();
        boxesEnabled = boxes.first()->isEnabled();
        for (int bit = 0; bit < 32; ++bit) {
            const QString name = QStringLiteral("checkBox_%1").arg(bit < 10 ? bit + 1 : bit + 11);
            auto *box = modal->findChild<QCheckBox *>(name);
            if (box->isChecked())
                checkedBits.append(bit);
            if (toggle.contains(bit))
                QTest::mouseClick(box, Qt::LeftButton);
        }
        clickButton(modal, button);
    }
};
}

QT_BEGIN_NAMESPACE
namespace QTest {
template <>
char *toString(const MenuEntry &entry)
{
    return qstrdup(QStringLiteral("%1 \"%2\" enabled=%3 checked=%4")
                       .arg(entry.name, entry.text)
                       .arg(entry.enabled)
                       .arg(entry.checked)
                       .toUtf8()
                       .constData());
}
}
QT_END_NAMESPACE

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

    void statusUpdateFinished();
    void statusError();
    void statusStoredToFlash();
    void statusLastMessageWins();
    void updateViewportRepaintsTree();

private:
    QTemporaryDir *m_workDir = nullptr;
    QString m_previousDir;
    DescriptionDir *m_files = nullptr;
    MainWindow *m_window = nullptr;
};

void TestDeviceCommands::initTestCase()
{
    qRegisterMetaType<QModelIndex>();
}

void TestDeviceCommands::init()
{
    // The window tries tags/default.yml at start; an empty folder keeps the list empty.
    m_previousDir = QDir::currentPath();
    m_workDir = new QTemporaryDir;
    QVERIFY(QDir::setCurrent(m_workDir->path()));
    m_files = new DescriptionDir;
    m_window = new MainWindow;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void TestDeviceCommands::cleanup()
{
    delete m_window;
    m_window = nullptr;
    delete m_files;
    m_files = nullptr;
    QDir::setCurrent(m_previousDir);
    delete m_workDir;
    m_workDir = nullptr;
}

void TestDeviceCommands::noMenuOnEmptySpace()
{
    addDevice(*m_window, m_files->write(QStringLiteral("boiler.yml"), boilerRtu));
    QWidget *viewport = deviceList(*m_window)->viewport();
    const QPoint empty(10, viewport->height() - 5);
    QVERIFY(!deviceList(*m_window)->itemAt(empty));

    MenuChoice menu;
    ModalWatcher watcher(QMenu::staticMetaObject, std::ref(menu));
    rightClick(*m_window, empty);
    QVERIFY(!watcher.seen());
}

void TestDeviceCommands::menuOfDisconnectedDevice()
{
    addDevice(*m_window, m_files->write(QStringLiteral("boiler.yml"), boilerRtu));

    const MenuChoice menu = useContextMenu(*m_window, 0);

    const QList<MenuEntry> expected{
        entry("actionConnect", "Подключиться", true, false),
        separator(),
        entry("actionUpdateDevice", "Обновить переменные", false),
        entry("actionAutoUpdate", "Обновлять непрерывно", false, false),
        separator(),
        entry("actionDeviceSettings", "Настройки связи", true),
        separator(),
        entry("actionStoreToFlash", "Сохранение конфигурации", false),
        separator(),
        entry("actionCloseDevice", "Закрыть", true)};
    QCOMPARE(menu.entries, expected);
    QVERIFY(!menu.menuHadParent);
    QCOMPARE(deviceList(*m_window)->currentRow(), 0);
}

void TestDeviceCommands::connectAndDisconnectFromMenu()
{
    PtyPeer line;
    QVERIFY(line.isOpen());
    const QByteArray description = "device: Heat meter\nprotocol: VelmorBUS RTU\nport: " + line.slavePath().toUtf8()
                                   + "\nbaudrate: 9600\nid: 33\nvariables:\n  - name: E\n    addr: 32\n";
    VelmorDeviceModel *device = addDevice(*m_window, m_files->write(QStringLiteral("meter.yml"), description));

    useContextMenu(*m_window, 0, QStringLiteral("actionConnect"));
    QVERIFY(device->connected());

    const MenuChoice connectedMenu = useContextMenu(*m_window, 0, QStringLiteral("actionConnect"));
    const QList<MenuEntry> expected{
        entry("actionConnect", "Отключиться", true, true),
        separator(),
        entry("actionUpdateDevice", "Обновить переменные", true),
        entry("actionAutoUpdate", "Обновлять непрерывно", true, false),
        separator(),
        entry("actionDeviceSettings", "Настройки связи", true),
        separator(),
        entry("actionStoreToFlash", "Сохранение конфигурации", true),
        separator(),
        entry("actionCloseDevice", "Закрыть", true)};
    QCOMPARE(connectedMenu.entries, expected);
    QVERIFY(!device->connected());

    // The states stay on the actions until the next menu.
    QVERIFY(action(*m_window, "actionUpdateDevice")->isEnabled());
    QCOMPARE(action(*m_window, "actionConnect")->text(), QStringLiteral("Отключиться"));

    const MenuChoice againMenu = useContextMenu(*m_window, 0);
    QCOMPARE(againMenu.entries.first(), entry("actionConnect", "Подключиться", true, false));
    QVERIFY(!action(*m_window, "actionUpdateDevice")->isEnabled());
}

void TestDeviceCommands::menuActsOnTheRightClickedDevice()
{
    addDevice(*m_window, m_files->write(QStringLiteral("boiler.yml"), boilerRtu));
    addDevice(*m_window, m_files->write(QStringLiteral("pump.yml"), pumpTcp));
    deviceList(*m_window)->setCurrentRow(0);

    useContextMenu(*m_window, 1, QStringLiteral("actionCloseDevice"));

    QCOMPARE(deviceList(*m_window)->count(), 1);
    QCOMPARE(deviceAt(*m_window, 0)->devName(), QStringLiteral("Boiler room 2"));
}

void TestDeviceCommands::failedConnectShowsError()
{
    const QByteArray description = "device: Boiler\nprotocol: ModBUS RTU\nport: /dev/nonexistent-velmor-port\n"
                                   "baudrate: 19200\nid: 1\nvariables: []\n";
    VelmorDeviceModel *device = addDevice(*m_window, m_files->write(QStringLiteral("boiler.yml"), description));

    useContextMenu(*m_window, 0, QStringLiteral("actionConnect"));

    QVERIFY(!device->connected());
    QCOMPARE(statusText(*m_window),
             QStringLiteral("Unable open serial port /dev/nonexistent-velmor-port (baudrate: 19200)"));
}

void TestDeviceCommands::actionsWithoutCurrentDeviceDoNothing()
{
    addDevice(*m_window, m_files->write(QStringLiteral("boiler.yml"), boilerRtu));
    QVERIFY(!deviceList(*m_window)->currentItem());
    const char *actions[] = {"actionConnect", "actionUpdateDevice", "actionAutoUpdate", "actionStoreToFlash",
                             "actionDeviceSettings", "actionCloseDevice"};
    ModalWatcher watcher(QWidget::staticMetaObject, [](QWidget *modal) { modal->close(); });
    for (const char *name : actions) {
        action(*m_window, name)->setEnabled(true);
        action(*m_window, name)->trigger();
    }
    QVERIFY(!watcher.seen());
    QCOMPARE(deviceList(*m_window)->count(), 1);
    QVERIFY(!deviceAt(*m_window, 0)->connected());
    QVERIFY(!deviceAt(*m_window, 0)->autoUpdate());
}

void TestDeviceCommands::settingsSerialAccepted()
{
    VelmorDeviceModel *device = addDevice(*m_window, m_files->write(QStringLiteral("boiler.yml"), boilerRtu));
    deviceList(*m_window)->setCurrentRow(0);

    bool tcpEnabled = true;
    bool rtuEnabled = false;
    QString shownPort;
    QString shownBaud;
    int shownId = 0;
    QString shownHost;
    int shownTcpPort = 0;
    ModalWatcher watcher(SettingsDialog::staticMetaObject, [&](QWidget *modal) {
        tcpEnabled = child<QGroupBox>(modal, "groupTcp")->isEnabled();
        rtuEnabled = child<QGroupBox>(modal, "groupRTU")->isEnabled();
        shownPort = child<QComboBox>(modal, "comboSerialPort")->currentText();
        shownBaud = child<QComboBox>(modal, "comboBaudrate")->currentText();
        shownId = child<QSpinBox>(modal, "spinDevId")->value();
        shownHost = child<QLineEdit>(modal, "lineTcpHost")->text();
        shownTcpPort = child<QSpinBox>(modal, "spiTcpPort")->value();
        child<QComboBox>(modal, "comboSerialPort")->setEditText(QStringLiteral("COM9"));
        child<QComboBox>(modal, "comboBaudrate")->setCurrentIndex(3);
        child<QSpinBox>(modal, "spinDevId")->setValue(12);
        clickButton(modal, QDialogButtonBox::Ok);
    });
    action(*m_window, "actionDeviceSettings")->trigger();

    QVERIFY(watcher.seen());
    QVERIFY(!tcpEnabled);
    QVERIFY(rtuEnabled);
    QCOMPARE(shownPort, QStringLiteral("COM3"));
    QCOMPARE(shownBaud, QStringLiteral("19200"));
    QCOMPARE(shownId, 1);
    QCOMPARE(shownHost, QString());
    QCOMPARE(shownTcpPort, 502);
    QCOMPARE(device->serialPort(), QStringLiteral("COM9"));
    QCOMPARE(device->baudRate(), 57600);
    QCOMPARE(device->devId(), 12);
    QCOMPARE(deviceList(*m_window)->item(0)->text(),
             QStringLiteral("Boiler room 2\nproto: ModBUS RTU\nid: 12\nport: COM9 (57600)"));
}

void TestDeviceCommands::settingsSerialCancelled()
{
    VelmorDeviceModel *device = addDevice(*m_window, m_files->write(QStringLiteral("boiler.yml"), boilerRtu));
    deviceList(*m_window)->setCurrentRow(0);
    const QString text = deviceList(*m_window)->item(0)->text();
    QSignalSpy portChanges(device, &VelmorDeviceModel::serialPortChanged);
    QSignalSpy idChanges(device, &VelmorDeviceModel::devIdChanged);

    ModalWatcher watcher(SettingsDialog::staticMetaObject, [](QWidget *modal) {
        child<QComboBox>(modal, "comboSerialPort")->setEditText(QStringLiteral("COM9"));
        child<QSpinBox>(modal, "spinDevId")->setValue(12);
        clickButton(modal, QDialogButtonBox::Cancel);
    });
    action(*m_window, "actionDeviceSettings")->trigger();

    QVERIFY(watcher.seen());
    QCOMPARE(device->serialPort(), QStringLiteral("COM3"));
    QCOMPARE(device->devId(), 1);
    QCOMPARE(portChanges.count(), 0);
    QCOMPARE(idChanges.count(), 0);
    QCOMPARE(deviceList(*m_window)->item(0)->text(), text);
}

void TestDeviceCommands::settingsNetworkAccepted()
{
    VelmorDeviceModel *device = addDevice(*m_window, m_files->write(QStringLiteral("pump.yml"), pumpTcp));
    deviceList(*m_window)->setCurrentRow(0);
    const QString serialPortBefore = device->serialPort();
    const int baudRateBefore = device->baudRate();
    QSignalSpy portChanges(device, &VelmorDeviceModel::serialPortChanged);
    QSignalSpy baudChanges(device, &VelmorDeviceModel::baudRateChanged);

    bool rtuEnabled = true;
    QString shownHost;
    int shownTcpPort = 0;
    QString shownBaud;
    int shownId = 0;
    ModalWatcher watcher(SettingsDialog::staticMetaObject, [&](QWidget *modal) {
        rtuEnabled = child<QGroupBox>(modal, "groupRTU")->isEnabled();
        shownHost = child<QLineEdit>(modal, "lineTcpHost")->text();
        shownTcpPort = child<QSpinBox>(modal, "spiTcpPort")->value();
        shownBaud = child<QComboBox>(modal, "comboBaudrate")->currentText();
        shownId = child<QSpinBox>(modal, "spinDevId")->value();
        child<QLineEdit>(modal, "lineTcpHost")->setText(QStringLiteral("192.168.1.20"));
        child<QSpinBox>(modal, "spiTcpPort")->setValue(5020);
        child<QSpinBox>(modal, "spinDevId")->setValue(9);
        clickButton(modal, QDialogButtonBox::Ok);
    });
    action(*m_window, "actionDeviceSettings")->trigger();

    QVERIFY(watcher.seen());
    QVERIFY(!rtuEnabled);
    QCOMPARE(shownHost, QStringLiteral("10.0.0.5"));
    QCOMPARE(shownTcpPort, 1502);
    QCOMPARE(shownBaud, QStringLiteral("115200"));
    QCOMPARE(shownId, 7);
    QCOMPARE(device->tcpHost(), QStringLiteral("192.168.1.20"));
    QCOMPARE(device->tcpPort(), 5020);
    QCOMPARE(device->devId(), 9);
    QCOMPARE(device->serialPort(), serialPortBefore);
    QCOMPARE(device->baudRate(), baudRateBefore);
    QCOMPARE(portChanges.count(), 0);
    QCOMPARE(baudChanges.count(), 0);
    QCOMPARE(deviceList(*m_window)->item(0)->text(),
             QStringLiteral("Pump station\nproto: ModBUS TCP\nid: 9\nhost: 192.168.1.20:5020"));
}

void TestDeviceCommands::settingsNetworkCancelled()
{
    VelmorDeviceModel *device = addDevice(*m_window, m_files->write(QStringLiteral("pump.yml"), pumpTcp));
    deviceList(*m_window)->setCurrentRow(0);

    ModalWatcher watcher(SettingsDialog::staticMetaObject, [](QWidget *modal) {
        child<QLineEdit>(modal, "lineTcpHost")->setText(QStringLiteral("192.168.1.20"));
        child<QSpinBox>(modal, "spiTcpPort")->setValue(5020);
        clickButton(modal, QDialogButtonBox::Cancel);
    });
    action(*m_window, "actionDeviceSettings")->trigger();

    QVERIFY(watcher.seen());
    QCOMPARE(device->tcpHost(), QStringLiteral("10.0.0.5"));
    QCOMPARE(device->tcpPort(), 1502);
    QCOMPARE(deviceList(*m_window)->item(0)->text(),
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
    VelmorDeviceModel *device = addDevice(*m_window, m_files->write(QStringLiteral("boiler.yml"), description));
    deviceList(*m_window)->setCurrentRow(0);

    int shownId = -1;
    ModalWatcher watcher(SettingsDialog::staticMetaObject, [&](QWidget *modal) {
        shownId = child<QSpinBox>(modal, "spinDevId")->value();
        clickButton(modal, QDialogButtonBox::Ok);
    });
    action(*m_window, "actionDeviceSettings")->trigger();

    QCOMPARE(shownId, stored);
    QCOMPARE(device->devId(), stored);
    QVERIFY(deviceList(*m_window)->item(0)->text().contains(QStringLiteral("\nid: %1\n").arg(stored)));
}

void TestDeviceCommands::settingsFromMenu()
{
    addDevice(*m_window, m_files->write(QStringLiteral("boiler.yml"), boilerRtu));
    VelmorDeviceModel *pump = addDevice(*m_window, m_files->write(QStringLiteral("pump.yml"), pumpTcp));

    ModalWatcher dialog(SettingsDialog::staticMetaObject, [](QWidget *modal) {
        child<QSpinBox>(modal, "spinDevId")->setValue(42);
        clickButton(modal, QDialogButtonBox::Ok);
    });
    useContextMenu(*m_window, 1, QStringLiteral("actionDeviceSettings"));

    QVERIFY(dialog.seen());
    QCOMPARE(pump->devId(), 42);
    QCOMPARE(deviceAt(*m_window, 0)->devId(), 1);
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

    VelmorDeviceModel *device = addDevice(*m_window, m_files->write(QStringLiteral("boiler.yml"), boilerRtu));
    deviceList(*m_window)->setCurrentRow(0);
    QTreeView *tree = variableTree(*m_window);
    QSignalSpy doubleClicks(tree, &QAbstractItemView::doubleClicked);
    QSignalSpy changes(device, &QAbstractItemModel::dataChanged);

    ModalWatcher watcher(QWidget::staticMetaObject, [](QWidget *modal) { modal->close(); });
    const QModelIndex index = device->index(row, column);
    doubleClick(tree, index);

    QCOMPARE(doubleClicks.count(), 1);
    QVERIFY(!watcher.seen());
    QCOMPARE(changes.count(), 0);
}

void TestDeviceCommands::bitfieldWritable()
{
    VelmorDeviceModel *device = addDevice(*m_window, m_files->write(QStringLiteral("boiler.yml"), boilerRtu));
    deviceList(*m_window)->setCurrentRow(0);
    QTreeView *tree = variableTree(*m_window);
    QSignalSpy changes(device, &QAbstractItemModel::dataChanged);

    BitfieldSession session;
    session.toggle = {1, 15};
    ModalWatcher watcher(BitfieldDialog::staticMetaObject, std::ref(session));
    doubleClick(tree, device->index(Mode, 2));

    QVERIFY(watcher.seen());
    QVERIFY(session.boxesEnabled);
    QCOMPARE(session.checkedBits, (QList<int>{0, 2}));
    QCOMPARE(changes.count(), 1);
    QCOMPARE(heldValue(device, Mode), QStringLiteral("32775"));
}

void TestDeviceCommands::bitfieldCancelled()
{
    VelmorDeviceModel *device = addDevice(*m_window, m_files->write(QStringLiteral("boiler.yml"), boilerRtu));
    deviceList(*m_window)->setCurrentRow(0);
    QTreeView *tree = variableTree(*m_window);
    QSignalSpy changes(device, &QAbstractItemModel::dataChanged);

    BitfieldSession session;
    session.toggle = {1};
    session.button = QDialogButtonBox::Cancel;
    ModalWatcher watcher(BitfieldDialog::staticMetaObject, std::ref(session));
    doubleClick(tree, device->index(Mode, 2));

    QVERIFY(watcher.seen());
    QCOMPARE(changes.count(), 0);
    QCOMPARE(heldValue(device, Mode), QStringLiteral("5"));
}

void TestDeviceCommands::bitfieldReadOnly()
{
    VelmorDeviceModel *device = addDevice(*m_window, m_files->write(QStringLiteral("boiler.yml"), boilerRtu));
    deviceList(*m_window)->setCurrentRow(0);
    QTreeView *tree = variableTree(*m_window);
    QSignalSpy changes(device, &QAbstractItemModel::dataChanged);

    BitfieldSession session;
    session.toggle = {3};
    ModalWatcher watcher(BitfieldDialog::staticMetaObject, std::ref(session));
    doubleClick(tree, device->index(Alarms, 2));

    QVERIFY(watcher.seen());
    QVERIFY(!session.boxesEnabled);
    QCOMPARE(session.checkedBits, (QList<int>{0, 1, 10}));
    QCOMPARE(changes.count(), 0);
    QCOMPARE(heldValue(device, Alarms), QStringLiteral("1027"));
}

void TestDeviceCommands::bitfieldValueNotANumberLoadsZero()
{
    VelmorDeviceModel *device = addDevice(*m_window, m_files->write(QStringLiteral("boiler.yml"), boilerRtu));
    deviceList(*m_window)->setCurrentRow(0);
    QTreeView *tree = variableTree(*m_window);

    BitfieldSession session;
    ModalWatcher watcher(BitfieldDialog::staticMetaObject, std::ref(session));
    doubleClick(tree, device->index(Relays, 2));

    QVERIFY(watcher.seen());
    QCOMPARE(session.checkedBits, QList<int>());
    QCOMPARE(heldValue(device, Relays), QStringLiteral("0"));
}

void TestDeviceCommands::bitfieldHeldUnsignedKeepsItsBits()
{
    // An "int32" bit field with bit 31 set is held unsigned, above the int range.
    VelmorDeviceModel *device = addDevice(*m_window, m_files->write(QStringLiteral("boiler.yml"), boilerRtu));
    deviceList(*m_window)->setCurrentRow(0);
    QTreeView *tree = variableTree(*m_window);

    BitfieldSession session;
    ModalWatcher watcher(BitfieldDialog::staticMetaObject, std::ref(session));
    doubleClick(tree, device->index(Flags, 2));

    QVERIFY(watcher.seen());
    QList<int> bitsOneTo31;
    for (int bit = 1; bit < 32; ++bit)
        bitsOneTo31.append(bit);
    QCOMPARE(session.checkedBits, bitsOneTo31);
    QCOMPARE(heldPattern(device, Flags), 4294967294u);
}

void TestDeviceCommands::statusUpdateFinished()
{
    VelmorDeviceModel *device = addDevice(*m_window, m_files->write(QStringLiteral("boiler.yml"), boilerRtu));
    QMetaObject::invokeMethod(device, "updateFinished", Q_ARG(int, 437));
    QCOMPARE(statusText(*m_window), QStringLiteral("Boiler room 2 :: Обновление завершено (437 мс)"));
}

void TestDeviceCommands::statusError()
{
    VelmorDeviceModel *device = addDevice(*m_window, m_files->write(QStringLiteral("boiler.yml"), boilerRtu));
    QMetaObject::invokeMethod(device, "errorOccured", Q_ARG(QString, QStringLiteral("Saving to FLASH failed")));
    QCOMPARE(statusText(*m_window), QStringLiteral("Saving to FLASH failed"));
}

void TestDeviceCommands::statusStoredToFlash()
{
    VelmorDeviceModel *device = addDevice(*m_window, m_files->write(QStringLiteral("boiler.yml"), boilerRtu));
    QMetaObject::invokeMethod(device, "storeToFlashComplete");
    QCOMPARE(statusText(*m_window), QStringLiteral("Конфигурация успешно сохранена"));
}

void TestDeviceCommands::statusLastMessageWins()
{
    VelmorDeviceModel *boiler = addDevice(*m_window, m_files->write(QStringLiteral("boiler.yml"), boilerRtu));
    VelmorDeviceModel *pump = addDevice(*m_window, m_files->write(QStringLiteral("pump.yml"), pumpTcp));
    deviceList(*m_window)->setCurrentRow(0);

    QMetaObject::invokeMethod(boiler, "updateFinished", Q_ARG(int, 12));
    QMetaObject::invokeMethod(pump, "updateFinished", Q_ARG(int, 3050));
    QCOMPARE(statusText(*m_window), QStringLiteral("Pump station :: Обновление завершено (3050 мс)"));

    addDevice(*m_window, m_files->write(QStringLiteral("broken.yml"), "protocol: VelmorBUS TCP\nvariables: []\n"));
    QCOMPARE(statusText(*m_window), QStringLiteral("Model is invalid, unable to load"));
}

void TestDeviceCommands::updateViewportRepaintsTree()
{
    VelmorDeviceModel *device = addDevice(*m_window, m_files->write(QStringLiteral("boiler.yml"), boilerRtu));
    deviceList(*m_window)->setCurrentRow(0);
    QWidget *viewport = variableTree(*m_window)->viewport();
    PaintCounter paints(viewport);
    QTRY_VERIFY(paints.count() > 0);
    QCoreApplication::processEvents();
    paints.reset();

    // A polled value is not announced through dataChanged; only the repaint shows it.
    QMetaObject::invokeMethod(device, "updateViewport");
    QTRY_VERIFY(paints.count() > 0);
}

QTEST_MAIN(TestDeviceCommands)
#include "tst_devicecommands.moc"
