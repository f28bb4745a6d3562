#include "bitfielddialog.h"
#include "bitfieldsession.h"
#include "descriptiondir.h"
#include "emptycurrentdir.h"
#include "fakevelmorcontroller.h"
#include "mainwindow.h"
#include "modalwatcher.h"
#include "recordingmodbusserver.h"
#include "toolwindowfixture.h"
#include "valuestyle.h"
#include "velmordevicemodel.h"
#include "windowdriver.h"

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyleOptionViewItem>
#include <QStatusBar>
#include <QTcpSocket>
#include <QTreeView>
#include <QtTest>

#include <memory>

namespace {
// Register addresses of the Modbus device below.
constexpr int temperatureAddr = 100;
constexpr int modeAddr = 200;
constexpr int flagsAddr = 300;
constexpr int missingAddr = 20000;

enum Variable { Temperature, Mode, Flags };
constexpr int valueColumn = 2;

// Rows of the device that shows every quality: a cycle reads them in this order.
enum QualityRow { ReadRow, WritableRow, RefusedRow, UnreadRow };

QByteArray qualityDescription(int port)
{
    return "device: Pump station\nprotocol: ModBUS TCP\nhost: 127.0.0.1\nport: " + QByteArray::number(port)
           + "\nid: 1\nvariables:\n"
             "  - name: T\n    addr: 100\n    type: int16\n    value: 200\n"
             "  - name: Mode\n    addr: 200\n    type: int16\n    rw: true\n    value: 1\n"
             "  - name: Missing\n    addr: 20000\n    type: int16\n    value: 0\n"
             "  - name: Level\n    addr: 300\n    type: int16\n    value: 7\n";
}

// The look of a value cell in words: its text colour, italic, the warning mark, a tint.
QString lookOf(const QTreeView *tree, int row)
{
    QStyleOptionViewItem option;
    option.initFrom(tree);
    option.font = tree->font();
    option.fontMetrics = tree->fontMetrics();
    option.widget = tree;
    ValueStyle::apply(option, tree->model()->index(row, valueColumn));

    QStringList traits;
    const QColor text = option.palette.color(QPalette::Text);
    if (text.red() > 2 * text.green() && text.red() > 2 * text.blue())
        traits << QStringLiteral("red");
    else if (text != tree->palette().color(QPalette::Text))
        traits << QStringLiteral("grey");
    if (option.font.italic())
        traits << QStringLiteral("italic");
    if (option.backgroundBrush.style() != Qt::NoBrush)
        traits << QStringLiteral("tinted");
    return traits.isEmpty() ? QStringLiteral("plain") : traits.join(QLatin1Char(' '));
}

QStringList valueLooks(const QTreeView *tree)
{
    QStringList looks;
    for (int row = 0; row < tree->model()->rowCount(); ++row)
        looks << lookOf(tree, row);
    return looks;
}

// Rows whose value cell shows something in the square at its left, where the warning mark
// goes; the values themselves are right-aligned.
QList<int> markedRows(QTreeView *tree)
{
    const QImage shown = tree->viewport()->grab().toImage();
    QList<int> marked;
    for (int row = 0; row < tree->model()->rowCount(); ++row) {
        const QRect cell = tree->visualRect(tree->model()->index(row, valueColumn));
        const QRgb background = shown.pixel(cell.topLeft());
        bool drawn = false;
        for (int x = cell.left(); x < cell.left() + cell.height(); ++x) {
            for (int y = cell.top(); y <= cell.bottom(); ++y)
                drawn = drawn || shown.pixel(x, y) != background;
        }
        if (drawn)
            marked << row;
    }
    return marked;
}

QList<int> valueRowHeights(const QTreeView *tree)
{
    QList<int> heights;
    for (int row = 0; row < tree->model()->rowCount(); ++row)
        heights << tree->visualRect(tree->model()->index(row, valueColumn)).height();
    return heights;
}

QByteArray modbusDescription(int port, bool withMissingVariable = false)
{
    QByteArray text = "device: Pump station\nprotocol: ModBUS TCP\nhost: 127.0.0.1\nport: " + QByteArray::number(port)
                      + "\nid: 1\nvariables:\n"
                        "  - name: T\n    addr: 100\n    type: int16\n"
                        "  - name: Mode\n    addr: 200\n    type: int16\n    rw: true\n    bitfield: true\n"
                        "  - name: Flags\n    addr: 300\n    type: int32\n    rw: true\n    bitfield: true\n";
    if (withMissingVariable)
        text += "  - name: Missing\n    addr: 20000\n    type: int16\n";
    return text;
}

// The write-multiple-registers requests that reached the server, as data bytes.
QList<QByteArray> writesTo(const RecordingModbusServer &server)
{
    QList<QByteArray> writes;
    const QList<QModbusRequest> requests = server.requests();
    for (const QModbusRequest &request : requests) {
        if (request.functionCode() == QModbusPdu::WriteMultipleRegisters)
            writes.append(request.data());
    }
    return writes;
}
}

class TestDeviceLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void updateShowsPollTime();
    void continuousUpdateOnAndOff();
    void failedReadShowsError();
    void bitfieldEditReachesController();
    void bitfieldHeldUnsignedWritesSameBits();
    void closingConnectedDeviceEndsConnection();
    void storeToFlashConfirmed();
    void storeToFlashRefused();
    void storeToFlashOnModbusSendsNothing();
    void valuesShowTheirQuality();
    void writableValueTintedInTree();
    void cycleSummaryBesideUpdateMessage();

private:
    // Each loads its device, selects it and connects from the menu; true once connected.
    bool startModbusDevice(bool withMissingVariable = false);
    bool startQualityDevice();
    bool connectModbusDevice(const QByteArray &description);
    bool startVelmorDevice();
    bool connectSelectedDevice(const QString &fileName, const QByteArray &description);
    // Picks "update" in the device's menu; true once the poll it starts has finished.
    bool updateFromMenu();

    std::unique_ptr<ToolWindowFixture> m_tool;
    DescriptionDir *m_files = nullptr;
    RecordingModbusServer *m_server = nullptr;
    FakeVelmorController *m_controller = nullptr;
    WindowDriver *m_driver = nullptr;
    VelmorDeviceModel *m_device = nullptr;
};

void TestDeviceLink::initTestCase()
{
    qRegisterMetaType<QTcpSocket *>();
}

void TestDeviceLink::init()
{
    m_tool = std::make_unique<ToolWindowFixture>();
    QVERIFY(m_tool->isReady());
    m_files = &m_tool->files();
    m_driver = &m_tool->driver();
}

void TestDeviceLink::cleanup()
{
    m_driver = nullptr;
    m_files = nullptr;
    m_device = nullptr;
    m_tool.reset();
    delete m_server;
    m_server = nullptr;
    delete m_controller;
    m_controller = nullptr;
}

bool TestDeviceLink::startModbusDevice(bool withMissingVariable)
{
    m_server = new RecordingModbusServer;
    return m_server->listen() && connectModbusDevice(modbusDescription(m_server->port(), withMissingVariable));
}

bool TestDeviceLink::startQualityDevice()
{
    m_server = new RecordingModbusServer;
    return m_server->listen() && connectModbusDevice(qualityDescription(m_server->port()));
}

bool TestDeviceLink::connectModbusDevice(const QByteArray &description)
{
    m_server->setHoldingRegisters(temperatureAddr, {215});
    m_server->setHoldingRegisters(modeAddr, {5});
    m_server->setHoldingRegisters(flagsAddr, {0xFFFF, 0xFFFE});
    if (!connectSelectedDevice(QStringLiteral("pump.yml"), description))
        return false;
    m_device->setInterQueryDelay(5);
    return true;
}

bool TestDeviceLink::startVelmorDevice()
{
    m_controller = new FakeVelmorController;
    const QByteArray description = "device: Heat meter\nprotocol: VelmorBUS RTU\nport: "
                                   + m_controller->portName().toUtf8()
                                   + "\nbaudrate: 115200\nid: 33\nvariables:\n  - name: E\n    addr: 32\n";
    return connectSelectedDevice(QStringLiteral("meter.yml"), description);
}

bool TestDeviceLink::connectSelectedDevice(const QString &fileName, const QByteArray &description)
{
    m_device = m_driver->addDevice(m_files->write(fileName, description));
    if (!m_device)
        return false;
    m_driver->deviceList()->setCurrentRow(0);
    m_driver->chooseFromMenu(0, QStringLiteral("actionConnect"));
    return m_device->connected();
}

bool TestDeviceLink::updateFromMenu()
{
    QSignalSpy finished(m_device, &VelmorDeviceModel::updateFinished);
    m_driver->chooseFromMenu(0, QStringLiteral("actionUpdateDevice"));
    return finished.wait(10000);
}

void TestDeviceLink::updateShowsPollTime()
{
    QVERIFY(startModbusDevice());
    QSignalSpy finished(m_device, &VelmorDeviceModel::updateFinished);

    const MenuChoice update = m_driver->chooseFromMenu(0, QStringLiteral("actionUpdateDevice"));

    QVERIFY(update.entry(QStringLiteral("actionUpdateDevice")).enabled);
    QVERIFY(finished.wait(10000));
    const int ms = finished.first().first().toInt();
    QCOMPARE(m_driver->statusText(), QStringLiteral("Pump station :: Обновление завершено (%1 мс)").arg(ms));
    QCOMPARE(m_device->data(m_device->index(Temperature, 2)).toString(), QStringLiteral("215"));
    QCOMPARE(m_device->data(m_device->index(Mode, 2)).toString(), QStringLiteral("5"));
    QCOMPARE(m_device->data(m_device->index(Flags, 2)).toString(), QStringLiteral("4294967294"));
}

void TestDeviceLink::continuousUpdateOnAndOff()
{
    QVERIFY(startModbusDevice());
    // Any poll seen within this delay is the one the menu entry starts itself.
    m_device->setInterUpdateDelay(600000);
    QSignalSpy finished(m_device, &VelmorDeviceModel::updateFinished);

    const MenuChoice on = m_driver->chooseFromMenu(0, QStringLiteral("actionAutoUpdate"));
    QVERIFY(on.entry(QStringLiteral("actionAutoUpdate")).enabled);
    QVERIFY(!on.entry(QStringLiteral("actionAutoUpdate")).checked);
    QVERIFY(m_device->autoUpdate());
    QVERIFY(finished.wait(10000));

    QSignalSpy requests(m_server, &RecordingModbusServer::requestReceived);
    const MenuChoice off = m_driver->chooseFromMenu(0, QStringLiteral("actionAutoUpdate"));
    QVERIFY(off.entry(QStringLiteral("actionAutoUpdate")).checked);
    QVERIFY(!m_device->autoUpdate());
    QVERIFY(!requests.wait(500));
    QCOMPARE(finished.count(), 1);
}

void TestDeviceLink::failedReadShowsError()
{
    QVERIFY(startModbusDevice(true));
    QSignalSpy errors(m_device, &VelmorDeviceModel::errorOccured);
    QSignalSpy finished(m_device, &VelmorDeviceModel::updateFinished);
    QString statusAtError;
    connect(m_device, &VelmorDeviceModel::errorOccured, this, [&] { statusAtError = m_driver->statusText(); });

    m_driver->chooseFromMenu(0, QStringLiteral("actionUpdateDevice"));

    QVERIFY(finished.wait(10000));
    QCOMPARE(errors.count(), 1);
    const QString error = errors.first().first().toString();
    QVERIFY(!error.isEmpty());
    QCOMPARE(statusAtError, error);
    QVERIFY(m_driver->statusText().startsWith(QStringLiteral("Pump station :: Обновление завершено (")));
    QVERIFY(!m_device->data(m_device->index(3, 2)).isValid());
}

void TestDeviceLink::bitfieldEditReachesController()
{
    QVERIFY(startModbusDevice());
    QVERIFY(updateFromMenu());

    BitfieldSession session;
    session.toggle = {1, 12};
    ModalWatcher watcher(BitfieldDialog::staticMetaObject, std::ref(session));
    m_driver->doubleClick(m_device->index(Mode, 2));
    QVERIFY(watcher.seen());
    QCOMPARE(session.checkedBits, (QList<int>{0, 2}));

    QVERIFY(updateFromMenu());
    // Start 200, one register, two bytes, 0x1007.
    QCOMPARE(writesTo(*m_server), QList<QByteArray>{QByteArray::fromHex("00c8000102" "1007")});
    QCOMPARE(m_server->holdingRegister(modeAddr), quint16(0x1007));
    QCOMPARE(m_device->data(m_device->index(Mode, 2)).toString(), QStringLiteral("4103"));
}

void TestDeviceLink::bitfieldHeldUnsignedWritesSameBits()
{
    QVERIFY(startModbusDevice());
    QVERIFY(updateFromMenu());
    QCOMPARE(m_device->data(m_device->index(Flags, 2)).toString(), QStringLiteral("4294967294"));

    BitfieldSession session;
    ModalWatcher watcher(BitfieldDialog::staticMetaObject, std::ref(session));
    m_driver->doubleClick(m_device->index(Flags, 2));
    QVERIFY(watcher.seen());
    QCOMPARE(session.checkedBits.size(), 31);
    QVERIFY(!session.checkedBits.contains(0));

    QVERIFY(updateFromMenu());
    // Start 300, two registers, four bytes; the upper half goes first, as it is read.
    QCOMPARE(writesTo(*m_server), QList<QByteArray>{QByteArray::fromHex("012c000204" "fffffffe")});
}

void TestDeviceLink::closingConnectedDeviceEndsConnection()
{
    QVERIFY(startModbusDevice());
    QVERIFY(updateFromMenu());
    QSignalSpy gone(m_server, &QModbusTcpServer::modbusClientDisconnected);

    m_driver->chooseFromMenu(0, QStringLiteral("actionCloseDevice"));

    QCOMPARE(m_driver->deviceList()->count(), 0);
    QVERIFY(!m_driver->variableTree()->model());
    QVERIFY(gone.wait(10000));
}

void TestDeviceLink::storeToFlashConfirmed()
{
    QVERIFY(startVelmorDevice());
    QSignalSpy stored(m_device, &VelmorDeviceModel::storeToFlashComplete);
    QString statusAtStore;
    connect(m_device, &VelmorDeviceModel::storeToFlashComplete, this,
            [&] { statusAtStore = m_driver->statusText(); });

    const MenuChoice flash = m_driver->chooseFromMenu(0, QStringLiteral("actionStoreToFlash"));
    QVERIFY(flash.entry(QStringLiteral("actionStoreToFlash")).enabled);
    m_driver->chooseFromMenu(0, QStringLiteral("actionUpdateDevice"));

    QVERIFY(stored.wait(10000));
    QCOMPARE(statusAtStore, QStringLiteral("Конфигурация успешно сохранена"));
    const FakeVelmorController::Request request = m_controller->requests().first();
    QCOMPARE(request.cmd, int(VelmorBusPacket::CmdWrite));
    QCOMPARE(request.addr, quint16(0xFD));
    QCOMPARE(request.data, QByteArray::fromHex("01000000"));
}

void TestDeviceLink::storeToFlashRefused()
{
    QVERIFY(startVelmorDevice());
    m_controller->setHandler([](const FakeVelmorController::Request &request) {
        if (request.cmd == VelmorBusPacket::CmdWrite)
            return FakeVelmorController::writeAnswer(request, 0x20);
        return FakeVelmorController::readAnswer(request, QByteArray(request.size, '\0'));
    });
    QSignalSpy errors(m_device, &VelmorDeviceModel::errorOccured);
    QString statusAtError;
    connect(m_device, &VelmorDeviceModel::errorOccured, this, [&] { statusAtError = m_driver->statusText(); });

    m_driver->chooseFromMenu(0, QStringLiteral("actionStoreToFlash"));
    m_driver->chooseFromMenu(0, QStringLiteral("actionUpdateDevice"));

    QVERIFY(errors.wait(10000));
    QCOMPARE(statusAtError, QStringLiteral("Saving to FLASH failed"));
}

void TestDeviceLink::storeToFlashOnModbusSendsNothing()
{
    QVERIFY(startModbusDevice());

    const MenuChoice flash = m_driver->chooseFromMenu(0, QStringLiteral("actionStoreToFlash"));

    QVERIFY(flash.entry(QStringLiteral("actionStoreToFlash")).enabled);
    QCOMPARE(m_driver->statusText(),
             QStringLiteral("Pump station :: По этой связи конфигурацию во флеш-память не сохранить, ничего не отправлено"));
    QVERIFY(updateFromMenu());
    QCOMPARE(writesTo(*m_server), QList<QByteArray>());
}

// Continuous update is turned off from a slot of the read that is to be the cycle's last:
// the values after it keep what they had.
void TestDeviceLink::valuesShowTheirQuality()
{
    QVERIFY(startQualityDevice());
    QTreeView *tree = m_driver->variableTree();
    QAction *autoUpdate = m_driver->action("actionAutoUpdate");
    const QList<int> heightsFromFile = valueRowHeights(tree);
    QCOMPARE(valueLooks(tree), (QStringList{"grey italic", "grey italic tinted", "grey italic", "grey italic"}));
    QSignalSpy failed(m_device, &VelmorDeviceModel::variableFailed);
    QSignalSpy abandoned(m_device, &VelmorDeviceModel::cycleAbandoned);

    QMetaObject::Connection stop = connect(m_device, &VelmorDeviceModel::variableFailed, autoUpdate, &QAction::trigger);
    m_driver->chooseFromMenu(0, QStringLiteral("actionAutoUpdate"));
    QVERIFY(abandoned.wait(10000));
    disconnect(stop);
    stop = connect(m_device, &VelmorDeviceModel::variableRead, autoUpdate, &QAction::trigger);
    m_driver->chooseFromMenu(0, QStringLiteral("actionAutoUpdate"));
    QTRY_COMPARE_WITH_TIMEOUT(abandoned.count(), 2, 10000);
    disconnect(stop);

    QCOMPARE(valueLooks(tree), (QStringList{"plain", "grey tinted", "red", "grey italic"}));
    QCOMPARE(markedRows(tree), QList<int>{RefusedRow});
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().first().toInt(), int(RefusedRow));
    const QString reason = failed.first().last().toString();
    QVERIFY(tree->model()->index(RefusedRow, valueColumn).data(Qt::ToolTipRole).toString().contains(reason));
    QCOMPARE(valueRowHeights(tree), heightsFromFile);

    m_driver->chooseFromMenu(0, QStringLiteral("actionConnect"));
    QVERIFY(!m_device->connected());
    QCOMPARE(valueLooks(tree), (QStringList{"grey", "grey tinted", "red", "grey italic"}));
}

void TestDeviceLink::writableValueTintedInTree()
{
    QVERIFY(startQualityDevice());
    QTreeView *tree = m_driver->variableTree();
    const QImage shown = tree->viewport()->grab().toImage();
    const QPoint insideValue = tree->visualRect(m_device->index(WritableRow, valueColumn)).bottomLeft() + QPoint(1, -1);
    const QPoint insideName = tree->visualRect(m_device->index(WritableRow, 1)).bottomLeft() + QPoint(1, -1);

    QStyleOptionViewItem look;
    look.initFrom(tree);
    ValueStyle::apply(look, m_device->index(WritableRow, valueColumn));
    QCOMPARE(shown.pixel(insideValue), look.backgroundBrush.color().rgb());
    QCOMPARE(shown.pixel(insideName), tree->palette().color(QPalette::Base).rgb());
}

void TestDeviceLink::cycleSummaryBesideUpdateMessage()
{
    QVERIFY(startQualityDevice());
    QSignalSpy finished(m_device, &VelmorDeviceModel::updateFinished);

    m_driver->chooseFromMenu(0, QStringLiteral("actionUpdateDevice"));

    QVERIFY(finished.wait(10000));
    const int ms = finished.first().first().toInt();
    QCOMPARE(m_driver->statusText(), QStringLiteral("Pump station :: Обновление завершено (%1 мс)").arg(ms));
    const auto *summary = m_tool->window().findChild<QLabel *>(QStringLiteral("cycleSummary"));
    QVERIFY(summary);
    QVERIFY(summary->isVisible());
    QCOMPARE(summary->text(), QStringLiteral("Pump station: цикл %1 мс, прочитано 3, ошибок 1").arg(ms));
}

QTEST_MAIN(TestDeviceLink)
#include "tst_devicelink.moc"
