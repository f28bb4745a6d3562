#include "descriptiondir.h"
#include "devicerecording.h"
#include "mainwindow.h"
#include "modalwatcher.h"
#include "recordingmodbusserver.h"
#include "toolwindowfixture.h"
#include "trendcurve.h"
#include "trendplot.h"
#include "trendrecorder.h"
#include "trendseries.h"
#include "trendwindow.h"
#include "variabledrag.h"
#include "velmordevicemodel.h"
#include "windowdriver.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QSettings>
#include <QStandardPaths>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

namespace {

constexpr int temperatureAddr = 100;

QByteArray pumpDescription(int port)
{
    return "device: Pump station\nprotocol: ModBUS TCP\nhost: 127.0.0.1\nport: " + QByteArray::number(port)
           + "\nid: 1\nvariables:\n"
             "  - name: T\n    addr: 100\n    type: int16\n"
             "  - name: Mode\n    addr: 200\n    type: int16\n    rw: true\n    bitfield: true\n";
}

} // namespace

// The trend windows as velmor-tool opens them: from the variable table's menu, by
// keyboard and by dragging a variable, fed by the device's polling.
class TestToolTrends : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void variableMenuPutsTheVariableInItsDevicesTrend();
    void shortcutOpensOneWindowPerDevice();
    void draggedVariableIsDrawn();
    void windowSurvivesItsDeviceBeingClosed();
    void memoryBoundComesFromTheSettings_data();
    void memoryBoundComesFromTheSettings();

private:
    bool pollOnce();
    // Right-clicks the variable row in the table and picks the entry.
    void chooseFromVariableMenu(int row, const QString &choice);
    TrendWindow *trendWindow() const { return m_tool->window().findChild<TrendWindow *>(); }
    int source() const { return m_device->findChild<DeviceRecording *>()->source(); }

    std::unique_ptr<ToolWindowFixture> m_tool;
    std::unique_ptr<RecordingModbusServer> m_server;
    VelmorDeviceModel *m_device = nullptr;
};

void TestToolTrends::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("velmor-test"));
}

void TestToolTrends::init()
{
    m_tool = std::make_unique<ToolWindowFixture>();
    QVERIFY(m_tool->isReady());
    m_server = std::make_unique<RecordingModbusServer>();
    QVERIFY(m_server->listen());
    m_server->setHoldingRegisters(temperatureAddr, {215});
    m_server->setHoldingRegisters(200, {5});
    m_device = m_tool->driver().addDevice(m_tool->files().write(QStringLiteral("pump.yml"),
                                                                pumpDescription(m_server->port())));
    QVERIFY(m_device);
    m_tool->driver().deviceList()->setCurrentRow(0);
    m_tool->driver().chooseFromMenu(0, QStringLiteral("actionConnect"));
    QVERIFY(m_device->connected());
}

void TestToolTrends::cleanup()
{
    m_tool.reset();
    m_server.reset();
}

bool TestToolTrends::pollOnce()
{
    QSignalSpy finished(m_device, &VelmorDeviceModel::updateFinished);
    m_device->updateDeviceModel();
    return finished.wait(10000);
}

void TestToolTrends::chooseFromVariableMenu(int row, const QString &choice)
{
    QTreeView *tree = m_tool->driver().variableTree();
    const QPoint at = tree->visualRect(tree->model()->index(row, 1)).center();
    MenuChoice menu;
    menu.choice = choice;
    ModalWatcher watcher(QMenu::staticMetaObject, std::ref(menu));
    QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, at);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree->viewport(), &event);
    QVERIFY(watcher.seen());
}

void TestToolTrends::variableMenuPutsTheVariableInItsDevicesTrend()
{
    chooseFromVariableMenu(0, QStringLiteral("actionAddToTrend"));

    TrendWindow *window = trendWindow();
    QVERIFY(window && window->isVisible());
    QCOMPARE(window->plot()->trendCurves().size(), 1);
    QVERIFY(pollOnce());
    const TrendSeries &series = m_tool->window().findChild<TrendRecorder *>()->series(source(), 0);
    QCOMPARE(series.count(), 1);
    QCOMPARE(series.at(0).min, 215.0);
    QTRY_COMPARE(window->plot()->trendCurves().first()->title().text(), QStringLiteral("T: 215"));
}

void TestToolTrends::shortcutOpensOneWindowPerDevice()
{
    QTest::keyClick(&m_tool->window(), Qt::Key_T, Qt::ControlModifier);
    QTRY_VERIFY(trendWindow());
    TrendWindow *first = trendWindow();
    QTest::keyClick(&m_tool->window(), Qt::Key_T, Qt::ControlModifier);

    QCOMPARE(m_tool->window().findChildren<TrendWindow *>().size(), 1);
    QCOMPARE(trendWindow(), first);
    QVERIFY(first->windowTitle().contains(QStringLiteral("Pump station")));
}

void TestToolTrends::draggedVariableIsDrawn()
{
    m_tool->driver().action("actionTrends")->trigger();
    TrendWindow *window = trendWindow();
    QTreeView *tree = m_tool->driver().variableTree();
    std::unique_ptr<QMimeData> dragged(VariableDrag::mimeDataOf(tree->model()->index(1, 2)));
    QVERIFY(dragged);

    const QPoint at = window->plot()->geometry().center();
    QDragEnterEvent enter(at, Qt::CopyAction, dragged.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, dragged.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &drop);

    QCOMPARE(window->plot()->trendCurves().size(), 1);
    QCOMPARE(window->plot()->trendCurves().first()->key().variable, 1);
}

void TestToolTrends::windowSurvivesItsDeviceBeingClosed()
{
    chooseFromVariableMenu(0, QStringLiteral("actionAddToTrend"));
    QVERIFY(pollOnce());
    QPointer<TrendWindow> window = trendWindow();
    const int recorded = source();
    m_device->setAutoUpdate(true);

    m_tool->driver().chooseFromMenu(0, QStringLiteral("actionCloseDevice"));

    QCOMPARE(m_tool->driver().deviceList()->count(), 0);
    QVERIFY(window);
    auto *recorder = m_tool->window().findChild<TrendRecorder *>();
    QVERIFY(!recorder->isLive(recorded));
    QVERIFY(recorder->series(recorded, 0).count() >= 1);
    window->setTimeWindow(0);
    QCOMPARE(window->plot()->trendCurves().size(), 1);
    QVERIFY(window->plot()->trendCurves().first()->dataSize() >= 1);
    auto *list = window->findChild<QTreeWidget *>(QStringLiteral("variableList"));
    QVERIFY(list->topLevelItem(0)->text(0).contains(QStringLiteral("закрыто")));
}

void TestToolTrends::memoryBoundComesFromTheSettings_data()
{
    QTest::addColumn<QVariant>("setting");
    QTest::addColumn<qint64>("budgetMiB");
    QTest::newRow("not set") << QVariant() << qint64(256);
    QTest::newRow("64") << QVariant(QStringLiteral("64")) << qint64(64);
    QTest::newRow("the smallest") << QVariant(16) << qint64(16);
    QTest::newRow("too small") << QVariant(15) << qint64(256);
    QTest::newRow("too large") << QVariant(qint64(1) << 20) << qint64(256);
    QTest::newRow("no number") << QVariant(QStringLiteral("lots")) << qint64(256);
}

void TestToolTrends::memoryBoundComesFromTheSettings()
{
    QFETCH(QVariant, setting);
    QFETCH(qint64, budgetMiB);
    QSettings settings;
    settings.remove(QStringLiteral("trends/memoryMiB"));
    if (setting.isValid())
        settings.setValue(QStringLiteral("trends/memoryMiB"), setting);
    settings.sync();

    MainWindow window;

    QCOMPARE(window.findChild<TrendRecorder *>()->budgetBytes(), budgetMiB << 20);
    settings.remove(QStringLiteral("trends/memoryMiB"));
}

QTEST_MAIN(TestToolTrends)
#include "tst_tooltrends.moc"
