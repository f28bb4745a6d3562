#include "descriptiondir.h"
#include "emptycurrentdir.h"
#include "logcapture.h"
#include "mainwindow.h"
#include "modalwatcher.h"
#include "sampledescriptions.h"
#include "windowdriver.h"
#include "velmordevicemodel.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
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
    addr: 0x10
    type: int16
    desc: Supply temperature
  - name: Mode
    addr: 20
    type: int16
    rw: true
    bitfield: true
  - name: K
    addr: 30
    type: float32
    rw: true
)";

using SampleDescriptions::pumpTcp;

const QByteArray notYaml = "device: [unclosed\nprotocol: ModBUS RTU\n";

// Chooses the given files in the open dialog; the dialog's settings are kept for checks.
struct OpenDialogChoice {
    QString directory;
    QStringList fileNames;
    QString caption;
    QStringList nameFilters;
    bool multiSelection = false;

    void operator()(QWidget *modal)
    {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        caption = dialog->windowTitle();
        nameFilters = dialog->nameFilters();
        multiSelection = dialog->fileMode() == QFileDialog::ExistingFiles;
        if (fileNames.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->setDirectory(directory);
        QStringList quoted;
        for (const QString &name : qAsConst(fileNames))
            quoted.append(QLatin1Char('"') + name + QLatin1Char('"'));
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(quoted.join(QLatin1Char(' ')));
        QMetaObject::invokeMethod(dialog, "accept");
    }
};
}

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void form();
    void startWithoutDefaultFile();
    void startLoadsDefaultFile();
    void openTwoFilesWithAnInvalidOne();
    void invalidFileNamesItsFirstError_data();
    void invalidFileNamesItsFirstError();
    void openCancelled();
    void sameFileTwice();
    void entryText_data();
    void entryText();
    void selectionShowsDevice();
    void closeCurrentDevice();
    void closeLastDeviceEmptiesTree();
    void aboutBox();

private:
    EmptyCurrentDir *m_workDir = nullptr;
};

void TestMainWindow::init()
{
    m_workDir = new EmptyCurrentDir;
    QVERIFY(m_workDir->isValid());
    QVERIFY(m_workDir->isCurrent());
}

void TestMainWindow::cleanup()
{
    delete m_workDir;
    m_workDir = nullptr;
}

void TestMainWindow::form()
{
    MainWindow window;
    WindowDriver driver(window);
    QCOMPARE(window.windowTitle(), QStringLiteral("Velmor Tool"));
    QCOMPARE(window.size(), QSize(865, 558));
    QVERIFY(!window.windowIcon().pixmap(32, 32).isNull());

    auto *layout = window.findChild<QHBoxLayout *>(QStringLiteral("horizontalLayout"));
    QCOMPARE(layout->spacing(), 6);
    QCOMPARE(layout->contentsMargins(), QMargins(11, 11, 11, 11));
    QCOMPARE(layout->indexOf(driver.deviceList()), 0);
    QCOMPARE(layout->indexOf(driver.variableTree()), 1);
    QCOMPARE(layout->stretch(0), 0);
    QCOMPARE(layout->stretch(1), 4);

    QListWidget *list = driver.deviceList();
    QCOMPARE(list->maximumSize(), QSize(200, 16777215));
    QCOMPARE(list->iconSize(), QSize(64, 64));
    QCOMPARE(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(list->contextMenuPolicy(), Qt::CustomContextMenu);
    QVERIFY(list->uniformItemSizes());
    QVERIFY(!list->isWrapping());
    QVERIFY(!list->hasAutoScroll());
    QCOMPARE(list->batchSize(), 100);
    QCOMPARE(driver.variableTree()->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(!driver.variableTree()->model());

    auto *menuFile = window.findChild<QMenu *>(QStringLiteral("menuFile"));
    auto *menuHelp = window.findChild<QMenu *>(QStringLiteral("menuHelp"));
    QCOMPARE(menuFile->title(), QStringLiteral("Файл"));
    QCOMPARE(menuHelp->title(), QStringLiteral("Справка"));
    const QList<QAction *> fileEntries = menuFile->actions();
    QCOMPARE(fileEntries.size(), 3);
    QCOMPARE(fileEntries.at(0), driver.action("actionOpen"));
    QVERIFY(fileEntries.at(1)->isSeparator());
    QCOMPARE(fileEntries.at(2), driver.action("actionExit"));
    QCOMPARE(menuHelp->actions(), QList<QAction *>{driver.action("actionAbout")});
    QCOMPARE(driver.action("actionOpen")->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));

    QAction *connect = driver.action("actionConnect");
    QVERIFY(connect->isCheckable());
    QVERIFY(driver.action("actionAutoUpdate")->isCheckable());
    const QIcon icon = connect->icon();
    QVERIFY(!icon.pixmap(32, QIcon::Normal, QIcon::Off).isNull());
    QVERIFY(!icon.pixmap(32, QIcon::Normal, QIcon::On).isNull());
    QVERIFY(icon.pixmap(32, QIcon::Normal, QIcon::Off).toImage()
            != icon.pixmap(32, QIcon::Normal, QIcon::On).toImage());
}

void TestMainWindow::startWithoutDefaultFile()
{
    LogCapture log;
    ModalWatcher box(QMessageBox::staticMetaObject, [](QWidget *modal) { modal->close(); });
    MainWindow window;
    QVERIFY(!box.seen());
    WindowDriver driver(window);
    QVERIFY(log.contains(QtCriticalMsg, QStringLiteral("(VelmorDeviceModel) Unable to open configuration file")));
    QCOMPARE(driver.deviceList()->count(), 0);
    QCOMPARE(driver.statusText(), QStringLiteral("Model is invalid, unable to load"));
    QVERIFY(window.findChildren<VelmorDeviceModel *>().size() <= 1);
    QTRY_COMPARE(window.findChildren<VelmorDeviceModel *>().size(), 0);
}

void TestMainWindow::startLoadsDefaultFile()
{
    QVERIFY(QDir().mkpath(QStringLiteral("tags")));
    QFile file(QStringLiteral("tags/default.yml"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(boilerRtu);
    file.close();

    MainWindow window;
    WindowDriver driver(window);
    QCOMPARE(driver.entryTexts(),
             QStringList{QStringLiteral("Boiler room 2\nproto: ModBUS RTU\nid: 1\nport: COM3 (19200)")});
    QCOMPARE(driver.statusText(), QString());
    QListWidgetItem *item = driver.deviceList()->item(0);
    VelmorDeviceModel *device = driver.deviceAt(0);
    QVERIFY(device);
    QCOMPARE(device->QObject::parent(), &window);
    QCOMPARE(QMetaType::typeName(item->data(Qt::UserRole).userType()), "VelmorDeviceModel*");
    QVERIFY(!item->icon().pixmap(64, 64).isNull());
    // Loading does not select the device.
    QVERIFY(!driver.deviceList()->currentItem());
    QVERIFY(!driver.variableTree()->model());
}

void TestMainWindow::openTwoFilesWithAnInvalidOne()
{
    DescriptionDir dir;
    dir.write(QStringLiteral("pump.yml"), pumpTcp);
    dir.write(QStringLiteral("broken.yml"), notYaml);
    dir.write(QStringLiteral("boiler.yml"), boilerRtu);
    MainWindow window;
    WindowDriver driver(window);
    window.statusBar()->clearMessage();

    OpenDialogChoice choice;
    choice.directory = dir.path();
    choice.fileNames = QStringList{"pump.yml", "broken.yml", "boiler.yml"};
    ModalWatcher watcher(QFileDialog::staticMetaObject, std::ref(choice));
    driver.action("actionOpen")->trigger();

    QVERIFY(watcher.seen());
    QCOMPARE(choice.caption, QStringLiteral("Open device description files"));
    QCOMPARE(choice.nameFilters, QStringList{"*.yml"});
    QVERIFY(choice.multiSelection);
    const QStringList expected{
        QStringLiteral("Pump station\nproto: ModBUS TCP\nid: 7\nhost: 10.0.0.5:1502"),
        QStringLiteral("Boiler room 2\nproto: ModBUS RTU\nid: 1\nport: COM3 (19200)")};
    QCOMPARE(driver.entryTexts(), expected);
    QVERIFY(driver.statusText().startsWith(QStringLiteral("Model is invalid, unable to load: ")));
    QVERIFY(driver.statusText().contains(QStringLiteral("broken.yml:")));
    QTRY_COMPARE(window.findChildren<VelmorDeviceModel *>().size(), 2);
}

void TestMainWindow::invalidFileNamesItsFirstError_data()
{
    QTest::addColumn<QByteArray>("description");
    QTest::addColumn<QString>("problem");

    QTest::newRow("YAML syntax error") << QByteArray("protocol: [ModBUS TCP\nvariables: []\n")
                                       << "2:10: error: YAML syntax: end of sequence flow not found: the model refuses the file";
    QTest::newRow("VelmorBUS TCP") << QByteArray("protocol: VelmorBUS TCP\nvariables: []\n")
                                   << "1:11: error: \"VelmorBUS TCP\" is not supported yet: the model refuses the file";
    QTest::newRow("error after a warning")
        << QByteArray("baudrat: 9600\nprotocol: Profibus\nvariables: []\n")
        << "2:11: error: unknown protocol \"Profibus\": the model refuses the file; it knows \"VelmorBUS RTU\", "
           "\"ModBUS RTU\" and \"ModBUS TCP\"";
}

void TestMainWindow::invalidFileNamesItsFirstError()
{
    QFETCH(QByteArray, description);
    QFETCH(QString, problem);

    DescriptionDir dir;
    const QString path = dir.write(QStringLiteral("boiler.yml"), description);
    MainWindow window;
    WindowDriver driver(window);
    driver.addDevice(path);

    QCOMPARE(driver.deviceList()->count(), 0);
    const QString message = QStringLiteral("Model is invalid, unable to load: %1:%2 (полный список: velmor-cli --check %1)")
                                .arg(path, problem);
    QCOMPARE(driver.statusText(), message);
    // Cut at the window's width, the message is whole in the tool tip.
    QCOMPARE(window.statusBar()->toolTip(), message);
}

void TestMainWindow::openCancelled()
{
    MainWindow window;
    WindowDriver driver(window);
    OpenDialogChoice choice;
    ModalWatcher watcher(QFileDialog::staticMetaObject, std::ref(choice));
    driver.action("actionOpen")->trigger();
    QVERIFY(watcher.seen());
    QCOMPARE(driver.deviceList()->count(), 0);
}

void TestMainWindow::sameFileTwice()
{
    DescriptionDir dir;
    const QString path = dir.write(QStringLiteral("boiler.yml"), boilerRtu);
    MainWindow window;
    WindowDriver driver(window);
    driver.addDevice(path);
    driver.addDevice(path);

    QCOMPARE(driver.deviceList()->count(), 2);
    QCOMPARE(driver.entryTexts().at(0), driver.entryTexts().at(1));
    VelmorDeviceModel *first = driver.deviceAt(0);
    VelmorDeviceModel *second = driver.deviceAt(1);
    QVERIFY(first != second);
    QVERIFY(first->setVarValue(1, 5));
    QCOMPARE(second->getVarAttr(1, QStringLiteral("value")), QVariant());
}

void TestMainWindow::entryText_data()
{
    QTest::addColumn<QByteArray>("description");
    QTest::addColumn<QString>("text");

    QTest::newRow("ModBUS RTU") << boilerRtu
                                << "Boiler room 2\nproto: ModBUS RTU\nid: 1\nport: COM3 (19200)";
    QTest::newRow("ModBUS TCP") << pumpTcp << "Pump station\nproto: ModBUS TCP\nid: 7\nhost: 10.0.0.5:1502";
    QTest::newRow("VelmorBUS RTU")
        << QByteArray("device: Heat meter\nprotocol: VelmorBUS RTU\nport: /dev/ttyUSB1\nbaudrate: 9600\n"
                      "id: 33\nvariables: []\n")
        << "Heat meter\nproto: VelmorBUS RTU\nid: 33\nport: /dev/ttyUSB1 (9600)";
    QTest::newRow("serial defaults") << QByteArray("protocol: VelmorBUS RTU\nvariables: []\n")
                                     << "Unknown Device\nproto: VelmorBUS RTU\nid: 0\nport: COM1 (115200)";
    QTest::newRow("network defaults") << QByteArray("device: Gate\nprotocol: ModBUS TCP\nvariables: []\n")
                                      << "Gate\nproto: ModBUS TCP\nid: 0\nhost: 127.0.0.1:502";
}

void TestMainWindow::entryText()
{
    QFETCH(QByteArray, description);
    QFETCH(QString, text);

    DescriptionDir dir;
    MainWindow window;
    WindowDriver driver(window);
    driver.addDevice(dir.write(QStringLiteral("device.yml"), description));
    QCOMPARE(driver.entryTexts(), QStringList{text});
}

void TestMainWindow::selectionShowsDevice()
{
    DescriptionDir dir;
    MainWindow window;
    WindowDriver driver(window);
    driver.addDevice(dir.write(QStringLiteral("boiler.yml"), boilerRtu));
    driver.addDevice(dir.write(QStringLiteral("pump.yml"), pumpTcp));
    QListWidget *list = driver.deviceList();
    QTreeView *tree = driver.variableTree();

    list->setCurrentRow(1);
    QCOMPARE(tree->model(), driver.deviceAt(1));
    QCOMPARE(tree->model()->rowCount(), 1);

    list->setCurrentRow(0);
    QCOMPARE(tree->model(), driver.deviceAt(0));
    QCOMPARE(tree->model()->rowCount(), 3);
    QCOMPARE(tree->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Значение"));

    list->setCurrentItem(nullptr);
    QVERIFY(!tree->model());
}

void TestMainWindow::closeCurrentDevice()
{
    DescriptionDir dir;
    MainWindow window;
    WindowDriver driver(window);
    driver.addDevice(dir.write(QStringLiteral("boiler.yml"), boilerRtu));
    driver.addDevice(dir.write(QStringLiteral("pump.yml"), pumpTcp));
    QListWidget *list = driver.deviceList();
    list->setCurrentRow(0);
    QPointer<VelmorDeviceModel> closed = driver.deviceAt(0);

    driver.action("actionCloseDevice")->trigger();

    QVERIFY(closed.isNull());
    QCOMPARE(driver.entryTexts(), QStringList{"Pump station\nproto: ModBUS TCP\nid: 7\nhost: 10.0.0.5:1502"});
    QCOMPARE(driver.variableTree()->model(), driver.deviceAt(list->currentRow()));
}

void TestMainWindow::closeLastDeviceEmptiesTree()
{
    DescriptionDir dir;
    MainWindow window;
    WindowDriver driver(window);
    driver.addDevice(dir.write(QStringLiteral("boiler.yml"), boilerRtu));
    driver.deviceList()->setCurrentRow(0);
    QPointer<VelmorDeviceModel> closed = driver.deviceAt(0);
    QCOMPARE(driver.variableTree()->model(), closed.data());

    driver.action("actionCloseDevice")->trigger();

    QVERIFY(closed.isNull());
    QCOMPARE(driver.deviceList()->count(), 0);
    QVERIFY(!driver.variableTree()->model());

    driver.action("actionCloseDevice")->trigger();
    QCOMPARE(driver.deviceList()->count(), 0);
}

void TestMainWindow::aboutBox()
{
    MainWindow window;
    WindowDriver driver(window);
    QString title;
    QString text;
    QWidget *parent = nullptr;
    ModalWatcher watcher(QMessageBox::staticMetaObject, [&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        title = box->windowTitle();
        text = box->text();
        parent = box->parentWidget();
        box->accept();
    });
    driver.action("actionAbout")->trigger();
    QVERIFY(watcher.seen());
    QCOMPARE(title, QStringLiteral("Velmor Tool"));
    QCOMPARE(text, QStringLiteral("<b>Velmor Tool v0.1.4.0</b>"));
    QCOMPARE(parent, &window);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
