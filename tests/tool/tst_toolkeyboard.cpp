#include "bitfielddialog.h"
#include "descriptiondir.h"
#include "dialogbutton.h"
#include "mainwindow.h"
#include "menuchoice.h"
#include "modalwatcher.h"
#include "recordingmodbusserver.h"
#include "toolwindowfixture.h"
#include "velmordevicemodel.h"
#include "windowdriver.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTreeView>
#include <QtTest>

#include <memory>

namespace {

QByteArray pumpDescription(int port)
{
    return "device: Pump station\nprotocol: ModBUS TCP\nhost: 127.0.0.1\nport: " + QByteArray::number(port)
           + "\nid: 1\nvariables:\n"
             "  - name: Setpoint\n    addr: 100\n    type: int16\n    rw: true\n"
             "  - name: Mode\n    addr: 200\n    type: int16\n    rw: true\n    bitfield: true\n";
}

} // namespace

// velmor-tool without a mouse: the device's commands, its menu and value editing.
class TestToolKeyboard : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void shortcutsShownInTheDeviceMenu();
    void deviceCommandsByKeyboard();
    void shiftF10OpensTheDeviceMenu();
    void keyEditsTheSelectedValue_data();
    void keyEditsTheSelectedValue();
    void keyOnABitFieldOpensItsDialog();

private:
    void selectVariable(int row);

    std::unique_ptr<ToolWindowFixture> m_tool;
    std::unique_ptr<RecordingModbusServer> m_server;
    VelmorDeviceModel *m_device = nullptr;
};

void TestToolKeyboard::init()
{
    m_tool = std::make_unique<ToolWindowFixture>();
    QVERIFY(m_tool->isReady());
    m_server = std::make_unique<RecordingModbusServer>();
    QVERIFY(m_server->listen());
    m_device = m_tool->driver().addDevice(
        m_tool->files().write(QStringLiteral("pump.yml"), pumpDescription(m_server->port())));
    QVERIFY(m_device);
    m_device->setInterQueryDelay(5);
    m_tool->driver().deviceList()->setCurrentRow(0);
}

void TestToolKeyboard::cleanup()
{
    m_tool.reset();
    m_server.reset();
}

void TestToolKeyboard::selectVariable(int row)
{
    QTreeView *tree = m_tool->driver().variableTree();
    tree->setFocus();
    tree->setCurrentIndex(tree->model()->index(row, 0));
}

void TestToolKeyboard::shortcutsShownInTheDeviceMenu()
{
    WindowDriver &driver = m_tool->driver();
    QCOMPARE(driver.action("actionConnect")->shortcut(), QKeySequence(QStringLiteral("Ctrl+K")));
    QCOMPARE(driver.action("actionUpdateDevice")->shortcut(), QKeySequence(QStringLiteral("F5")));
    QCOMPARE(driver.action("actionAutoUpdate")->shortcut(), QKeySequence(QStringLiteral("Ctrl+F5")));
}

void TestToolKeyboard::deviceCommandsByKeyboard()
{
    QWidget *window = &m_tool->window();
    QTest::keyClick(window, Qt::Key_K, Qt::ControlModifier);
    QVERIFY(m_device->connected());

    QSignalSpy finished(m_device, &VelmorDeviceModel::updateFinished);
    QTest::keyClick(window, Qt::Key_F5);
    QVERIFY(finished.wait(10000));
    QTest::keyClick(window, Qt::Key_F5, Qt::ControlModifier);
    QVERIFY(m_device->autoUpdate());
    QTest::keyClick(window, Qt::Key_F5, Qt::ControlModifier);
    QVERIFY(!m_device->autoUpdate());

    QTest::keyClick(window, Qt::Key_K, Qt::ControlModifier);
    QVERIFY(!m_device->connected());
}

void TestToolKeyboard::shiftF10OpensTheDeviceMenu()
{
    MenuChoice menu;
    ModalWatcher watcher(QMenu::staticMetaObject, std::ref(menu));
    m_tool->driver().deviceList()->setFocus();

    QTest::keyClick(m_tool->driver().deviceList(), Qt::Key_F10, Qt::ShiftModifier);

    QTRY_VERIFY(watcher.seen());
    QCOMPARE(menu.entries.first().name, QStringLiteral("actionConnect"));
}

void TestToolKeyboard::keyEditsTheSelectedValue_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("F2") << int(Qt::Key_F2);
    QTest::newRow("Enter") << int(Qt::Key_Return);
}

void TestToolKeyboard::keyEditsTheSelectedValue()
{
    QFETCH(int, key);
    selectVariable(0);

    QTest::keyClick(m_tool->driver().variableTree(), Qt::Key(key));

    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(editor);
    QVERIFY(m_tool->driver().variableTree()->viewport()->isAncestorOf(editor));
}

void TestToolKeyboard::keyOnABitFieldOpensItsDialog()
{
    selectVariable(1);
    ModalWatcher watcher(BitfieldDialog::staticMetaObject,
                         [](QWidget *dialog) { clickDialogButton(dialog, QDialogButtonBox::Cancel); });

    QTest::keyClick(m_tool->driver().variableTree(), Qt::Key_F2);

    QVERIFY(watcher.seen());
}

QTEST_MAIN(TestToolKeyboard)
#include "tst_toolkeyboard.moc"
