#include "descriptiondir.h"
#include "fakevelmorcontroller.h"
#include "mainwindow.h"
#include "recordingmodbusserver.h"
#include "toolwindowfixture.h"
#include "trafficdock.h"
#include "trafficlog.h"
#include "velmordevicemodel.h"
#include "windowdriver.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace {

QByteArray description(const QByteArray &name, int port)
{
    return "device: " + name + "\nprotocol: ModBUS TCP\nhost: 127.0.0.1\nport: " + QByteArray::number(port)
           + "\nid: 1\nvariables:\n  - name: T\n    addr: 100\n    type: int16\n";
}

} // namespace

// «Обмен» in velmor-tool: the frames of polled devices, shown while the dock is open.
class TestTrafficDock : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void hiddenAtStartAndShownByItsAction();
    void showsThePolledFramesWithDirectionAndDecode();
    void hiddenDockRecordsNothing();
    void showsAVelmorbusDevicesFramesWhole();
    void filterShowsOneDevice();
    void pauseStopsRecordingAndClearEmpties();
    void saveWritesTheShownRowsAsLines();
    void closedDeviceLeavesTheFilter();

private:
    VelmorDeviceModel *openDevice(const QByteArray &name, RecordingModbusServer &server);
    bool pollOnce(VelmorDeviceModel *device);
    void showDock();
    TrafficDock *dock() const { return m_tool->window().findChild<TrafficDock *>(QStringLiteral("trafficDock")); }
    QTableView *view() const { return dock()->findChild<QTableView *>(QStringLiteral("trafficView")); }
    QString shown(int row, int column) const { return view()->model()->index(row, column).data().toString(); }
    template<typename T>
    T *control(const char *name) const { return dock()->findChild<T *>(QLatin1String(name)); }

    std::unique_ptr<ToolWindowFixture> m_tool;
    std::unique_ptr<RecordingModbusServer> m_boilerServer;
    std::unique_ptr<RecordingModbusServer> m_pumpServer;
    VelmorDeviceModel *m_boiler = nullptr;
};

void TestTrafficDock::init()
{
    m_tool = std::make_unique<ToolWindowFixture>();
    QVERIFY(m_tool->isReady());
    m_boilerServer = std::make_unique<RecordingModbusServer>();
    m_pumpServer = std::make_unique<RecordingModbusServer>();
    QVERIFY(m_boilerServer->listen());
    QVERIFY(m_pumpServer->listen());
    m_boilerServer->setHoldingRegisters(100, {215});
    m_pumpServer->setHoldingRegisters(100, {7});
    m_boiler = openDevice("Boiler", *m_boilerServer);
    QVERIFY(m_boiler);
}

void TestTrafficDock::cleanup()
{
    m_tool.reset();
    m_boilerServer.reset();
    m_pumpServer.reset();
}

VelmorDeviceModel *TestTrafficDock::openDevice(const QByteArray &name, RecordingModbusServer &server)
{
    VelmorDeviceModel *device = m_tool->driver().addDevice(
        m_tool->files().write(QString::fromLatin1(name.toLower() + ".yml"), description(name, server.port())));
    if (device)
        device->connectDevice();
    return device;
}

bool TestTrafficDock::pollOnce(VelmorDeviceModel *device)
{
    QSignalSpy finished(device, &VelmorDeviceModel::updateFinished);
    device->updateDeviceModel();
    return finished.wait(10000);
}

void TestTrafficDock::showDock()
{
    m_tool->driver().action("actionTrafficMonitor")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(dock()->isVisible(), 10000);
}

void TestTrafficDock::hiddenAtStartAndShownByItsAction()
{
    QAction *action = m_tool->driver().action("actionTrafficMonitor");
    QVERIFY(action);
    QCOMPARE(action->text(), QStringLiteral("Монитор обмена"));
    QCOMPARE(action->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+T")));
    QVERIFY(m_tool->window().actions().contains(action));
    QVERIFY(!dock()->isVisible());
    QCOMPARE(dock()->windowTitle(), QStringLiteral("Обмен"));

    QTest::keyClick(&m_tool->window(), Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
    QTRY_VERIFY_WITH_TIMEOUT(dock()->isVisible(), 10000);
    QTest::keyClick(&m_tool->window(), Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
    QTRY_VERIFY_WITH_TIMEOUT(!dock()->isVisible(), 10000);
}

void TestTrafficDock::showsThePolledFramesWithDirectionAndDecode()
{
    showDock();
    QVERIFY(pollOnce(m_boiler));

    QTRY_COMPARE_WITH_TIMEOUT(view()->model()->rowCount(), 2, 10000);
    QCOMPARE(shown(0, TrafficLog::DeviceColumn), QStringLiteral("Boiler"));
    QCOMPARE(shown(0, TrafficLog::DirectionColumn), QStringLiteral("→"));
    QCOMPARE(shown(0, TrafficLog::BytesColumn), QStringLiteral("01 03 00 64 00 01"));
    QCOMPARE(shown(0, TrafficLog::DecodeColumn), QStringLiteral("адрес 1: чтение holding 100, 1 рег."));
    QCOMPARE(shown(1, TrafficLog::DirectionColumn), QStringLiteral("←"));
    QCOMPARE(shown(1, TrafficLog::DecodeColumn), QStringLiteral("адрес 1: ответ: 2 байта"));
    QCOMPARE(control<QLabel>("trafficBound")->text(), QStringLiteral("Кадров: 2 (хранится не более 10000)"));
}

void TestTrafficDock::hiddenDockRecordsNothing()
{
    QVERIFY(pollOnce(m_boiler));
    QCOMPARE(dock()->log()->storedCount(), 0);

    showDock();
    dock()->hide();
    QVERIFY(pollOnce(m_boiler));
    QCOMPARE(dock()->log()->storedCount(), 0);
}

void TestTrafficDock::showsAVelmorbusDevicesFramesWhole()
{
    FakeVelmorController controller;
    VelmorDeviceModel *meter = m_tool->driver().addDevice(m_tool->files().write(
        QStringLiteral("meter.yml"), "device: Heat meter\nprotocol: VelmorBUS RTU\nport: " + controller.portName().toUtf8()
                                         + "\nbaudrate: 115200\nid: 33\nvariables:\n  - name: E\n    addr: 32\n"));
    QVERIFY(meter);
    meter->connectDevice();
    QVERIFY(meter->connected());
    showDock();
    QVERIFY(pollOnce(meter));

    QTRY_COMPARE_WITH_TIMEOUT(view()->model()->rowCount(), 2, 10000);
    QCOMPARE(shown(0, TrafficLog::BytesColumn), QString::fromLatin1(controller.requests().first().frame.toHex(' ').toUpper()));
    QCOMPARE(shown(0, TrafficLog::DecodeColumn), QStringLiteral("устр. 33: чтение 0x0020, 4 байта"));
    QCOMPARE(shown(1, TrafficLog::DecodeColumn), QStringLiteral("устр. 33: ответ чтения 0x0020, 4 байта"));
    // Closed while its controller is still there.
    m_tool->driver().deviceList()->setCurrentRow(1);
    m_tool->driver().action("actionCloseDevice")->trigger();
}

void TestTrafficDock::filterShowsOneDevice()
{
    VelmorDeviceModel *pump = openDevice("Pump", *m_pumpServer);
    QVERIFY(pump);
    showDock();
    QVERIFY(pollOnce(m_boiler));
    QVERIFY(pollOnce(pump));
    QTRY_COMPARE_WITH_TIMEOUT(view()->model()->rowCount(), 4, 10000);

    auto *filter = control<QComboBox>("trafficDeviceFilter");
    QCOMPARE(filter->count(), 3);
    QCOMPARE(filter->itemText(0), QStringLiteral("Все устройства"));
    filter->setCurrentIndex(filter->findText(QStringLiteral("Pump")));
    QCOMPARE(view()->model()->rowCount(), 2);
    QCOMPARE(shown(0, TrafficLog::DeviceColumn), QStringLiteral("Pump"));
    QCOMPARE(shown(1, TrafficLog::DeviceColumn), QStringLiteral("Pump"));

    QVERIFY(pollOnce(m_boiler));
    QVERIFY(pollOnce(pump));
    QTRY_COMPARE_WITH_TIMEOUT(view()->model()->rowCount(), 4, 10000);
    filter->setCurrentIndex(0);
    QCOMPARE(view()->model()->rowCount(), 8);
}

void TestTrafficDock::pauseStopsRecordingAndClearEmpties()
{
    showDock();
    QVERIFY(pollOnce(m_boiler));
    QTRY_COMPARE_WITH_TIMEOUT(view()->model()->rowCount(), 2, 10000);

    control<QToolButton>("trafficPause")->click();
    QVERIFY(pollOnce(m_boiler));
    QCOMPARE(dock()->log()->storedCount(), 2);
    QVERIFY(control<QLabel>("trafficBound")->text().contains(QStringLiteral("пауза")));

    control<QToolButton>("trafficClear")->click();
    QCOMPARE(view()->model()->rowCount(), 0);
    control<QToolButton>("trafficPause")->click();
    QVERIFY(pollOnce(m_boiler));
    QTRY_COMPARE_WITH_TIMEOUT(view()->model()->rowCount(), 2, 10000);
}

void TestTrafficDock::saveWritesTheShownRowsAsLines()
{
    showDock();
    QVERIFY(pollOnce(m_boiler));
    QTRY_COMPARE_WITH_TIMEOUT(dock()->log()->storedCount(), 2, 10000);
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("traffic.txt"));
    QString error;
    QVERIFY(dock()->saveTo(fileName, &error));

    QFile file(fileName);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    const QRegularExpression sentLine(QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} > 01 03 00 64 00 01 )"
                                                     R"(\| Boiler \| адрес 1: чтение holding 100, 1 рег\.$)"));
    QVERIFY2(sentLine.match(lines.at(0)).hasMatch(), qPrintable(lines.at(0)));
    QVERIFY2(lines.at(1).contains(QStringLiteral(" < 01 03 02 00 D7 | Boiler | адрес 1: ответ: 2 байта")),
             qPrintable(lines.at(1)));

    QVERIFY(!dock()->saveTo(dir.filePath(QStringLiteral("missing/traffic.txt")), &error));
    QVERIFY(!error.isEmpty());
}

void TestTrafficDock::closedDeviceLeavesTheFilter()
{
    showDock();
    QVERIFY(pollOnce(m_boiler));
    auto *filter = control<QComboBox>("trafficDeviceFilter");
    filter->setCurrentIndex(1);
    m_tool->driver().deviceList()->setCurrentRow(0);
    m_tool->driver().action("actionCloseDevice")->trigger();

    QCOMPARE(filter->count(), 1);
    QCOMPARE(filter->currentIndex(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(view()->model()->rowCount(), 2, 10000);
}

QTEST_MAIN(TestTrafficDock)
#include "tst_trafficdock.moc"
