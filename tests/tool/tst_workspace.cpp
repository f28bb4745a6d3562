#include "descriptiondir.h"
#include "emptycurrentdir.h"
#include "mainwindow.h"
#include "menuchoice.h"
#include "modalwatcher.h"
#include "sampledescriptions.h"
#include "velmordevicemodel.h"
#include "windowdriver.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QHeaderView>
#include <QListWidget>
#include <QMenu>
#include <QSettings>
#include <QStandardPaths>
#include <QTreeView>
#include <QtTest>

#include <memory>

namespace {

const QByteArray meterSerial = "device: Heat meter\nprotocol: VelmorBUS RTU\nport: /dev/ttyUSB3\nbaudrate: 19200\n"
                               "id: 33\nvariables:\n  - name: E\n    addr: 32\n";

} // namespace

// The workspace velmor-tool remembers between runs, in a QSettings scope of the test's own.
class TestWorkspace : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void settingsSurviveARestart();
    void fileOpenedTwiceIsSelectedNotDoubled_data();
    void fileOpenedTwiceIsSelectedNotDoubled();
    void recentFilesReopenAClosedFile();
    void fileThatIsGoneIsLeftOut();

private:
    std::unique_ptr<MainWindow> restartedWindow();
    static QStringList entryNames(MainWindow &window);

    std::unique_ptr<EmptyCurrentDir> m_workDir;
    std::unique_ptr<DescriptionDir> m_files;
    QString m_pump;
    QString m_meter;
};

void TestWorkspace::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("velmor-test"));
}

void TestWorkspace::init()
{
    QSettings().clear();
    m_workDir = std::make_unique<EmptyCurrentDir>();
    QVERIFY(m_workDir->isCurrent());
    m_files = std::make_unique<DescriptionDir>();
    m_pump = m_files->write(QStringLiteral("pump.yml"), SampleDescriptions::pumpTcp);
    m_meter = m_files->write(QStringLiteral("meter.yaml"), meterSerial);
}

void TestWorkspace::cleanup()
{
    QSettings().clear();
    m_files.reset();
    m_workDir.reset();
}

std::unique_ptr<MainWindow> TestWorkspace::restartedWindow()
{
    auto window = std::make_unique<MainWindow>();
    window->restoreWorkspace();
    window->show();
    return window;
}

QStringList TestWorkspace::entryNames(MainWindow &window)
{
    QStringList names;
    for (const QString &text : WindowDriver(window).entryTexts())
        names.append(text.section(QLatin1Char('\n'), 0, 0));
    return names;
}

void TestWorkspace::settingsSurviveARestart()
{
    {
        std::unique_ptr<MainWindow> first = restartedWindow();
        first->openFiles({m_pump, m_meter});
        VelmorDeviceModel *pump = first->openDescription(m_pump);
        pump->setTcpPort(1600);
        pump->setResponseTimeoutMs(2500);
        pump->setWordOrder(QStringLiteral("CDAB"));
        VelmorDeviceModel *meter = first->openDescription(m_meter);
        meter->setParity(QStringLiteral("even"));
        meter->setStopBits(2);
        first->findChild<QTreeView *>(QStringLiteral("treeView"))->setColumnWidth(1, 333);
        first->resize(900, 640);
        first->close();
    }

    std::unique_ptr<MainWindow> second = restartedWindow();

    QCOMPARE(entryNames(*second), (QStringList{"Pump station", "Heat meter"}));
    WindowDriver driver(*second);
    VelmorDeviceModel *pump = driver.deviceAt(0);
    QCOMPARE(pump->tcpPort(), 1600);
    QCOMPARE(pump->responseTimeoutMs(), 2500);
    QCOMPARE(pump->wordOrder(), QStringLiteral("CDAB"));
    QCOMPARE(pump->tcpHost(), QStringLiteral("10.0.0.5"));
    QVERIFY(driver.entryTexts().first().contains(QStringLiteral("host: 10.0.0.5:1600")));
    QCOMPARE(driver.deviceAt(1)->baudRate(), 19200);
    QCOMPARE(driver.deviceAt(1)->parity(), QStringLiteral("even"));
    QCOMPARE(driver.deviceAt(1)->stopBits(), 2);
    QCOMPARE(driver.deviceAt(1)->dataBits(), 8);
    QCOMPARE(second->size(), QSize(900, 640));
    driver.deviceList()->setCurrentRow(0);
    QCOMPARE(driver.variableTree()->columnWidth(1), 333);
}

void TestWorkspace::fileOpenedTwiceIsSelectedNotDoubled_data()
{
    QTest::addColumn<QString>("again");
    QTest::newRow("the same path") << "pump.yml";
    QTest::newRow("through another folder name") << "../%1/pump.yml";
}

void TestWorkspace::fileOpenedTwiceIsSelectedNotDoubled()
{
    QFETCH(QString, again);
    std::unique_ptr<MainWindow> window = restartedWindow();
    window->openFiles({m_pump, m_meter});
    QDir::setCurrent(m_files->path());
    const QString path = again.contains(QLatin1String("%1")) ? again.arg(QDir(m_files->path()).dirName()) : again;

    VelmorDeviceModel *selected = window->openDescription(path);

    WindowDriver driver(*window);
    QCOMPARE(driver.deviceList()->count(), 2);
    QCOMPARE(selected, driver.deviceAt(0));
    QCOMPARE(driver.deviceList()->currentRow(), 0);
}

void TestWorkspace::recentFilesReopenAClosedFile()
{
    std::unique_ptr<MainWindow> window = restartedWindow();
    window->openFiles({m_meter, m_pump});
    WindowDriver driver(*window);
    driver.deviceList()->setCurrentRow(1);
    driver.action("actionCloseDevice")->trigger();
    QCOMPARE(entryNames(*window), QStringList{"Heat meter"});

    MenuChoice menu;
    QTreeView *tree = driver.variableTree();
    ModalWatcher watcher(QMenu::staticMetaObject, [&menu](QWidget *popup) {
        auto *recent = popup->findChild<QMenu *>(QStringLiteral("menuRecentFiles"));
        QVERIFY(recent);
        menu.entries.clear();
        for (QAction *entry : recent->actions())
            menu.entries.append({QString(), entry->text(), entry->isEnabled(), false});
        recent->actions().first()->trigger();
        popup->close();
    });
    const QPoint at(5, 5);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree->viewport(), &event);

    QVERIFY(watcher.seen());
    QCOMPARE(menu.entries.size(), 2);
    QCOMPARE(menu.entries.first().text, QFileInfo(m_pump).absoluteFilePath());
    QCOMPARE(entryNames(*window), (QStringList{"Heat meter", "Pump station"}));
}

void TestWorkspace::fileThatIsGoneIsLeftOut()
{
    {
        std::unique_ptr<MainWindow> first = restartedWindow();
        first->openFiles({m_pump, m_meter});
        first->close();
    }
    QVERIFY(QFile::remove(m_pump));

    std::unique_ptr<MainWindow> second = restartedWindow();

    QCOMPARE(entryNames(*second), QStringList{"Heat meter"});
}

QTEST_MAIN(TestWorkspace)
#include "tst_workspace.moc"
