#include "descriptiondir.h"
#include "probewindow.h"
#include "ptypeer.h"
#include "recordingmodbusserver.h"
#include "velmordevicemodel.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>

#include <memory>

namespace {

constexpr int WaitMs = 10000;

QByteArray tcpDescription(int port)
{
    return "device: Boiler\nprotocol: ModBUS TCP\nhost: 127.0.0.1\nport: " + QByteArray::number(port)
           + "\nid: 1\nvariables:\n  - {name: T, addr: 0}\n";
}

QStringList rowTexts(const QTableWidget *table, int row)
{
    QStringList cells;
    for (int column = 0; column < table->columnCount(); ++column)
        cells.append(table->item(row, column) ? table->item(row, column)->text() : QString());
    return cells;
}

} // namespace

// The register window driven offscreen against a Modbus TCP server played by the test,
// and the devices it cannot read.
class TestProbeWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readFillsBothTables();
    void readsInputRegistersAlongsideAConnectedTcpDevice();
    void continuousReadsRepeat();
    void connectedSerialDeviceDisablesReading();
    void velmorbusDeviceIsNotRead();

private:
    // The device and its window; the window is shown.
    void openWindow(const QByteArray &description);
    template<typename Widget>
    Widget *child(const char *name) const
    {
        return m_window->findChild<Widget *>(QString::fromLatin1(name));
    }

    std::unique_ptr<DescriptionDir> m_dir;
    std::unique_ptr<RecordingModbusServer> m_server;
    std::unique_ptr<VelmorDeviceModel> m_device;
    std::unique_ptr<ProbeWindow> m_window;
};

void TestProbeWindow::init()
{
    m_dir.reset(new DescriptionDir);
    m_server.reset(new RecordingModbusServer);
    QVERIFY(m_server->listen());
    m_server->setHoldingRegisters(100, {0x4048, 0xF5C3, 0x0001});
    m_server->setInputRegisters(10, {0x0001, 0x86A0});
}

void TestProbeWindow::cleanup()
{
    m_window.reset();
    m_device.reset();
    m_server.reset();
    m_dir.reset();
}

void TestProbeWindow::openWindow(const QByteArray &description)
{
    m_device.reset(new VelmorDeviceModel(m_dir->write(QStringLiteral("device.yml"), description)));
    m_window.reset(new ProbeWindow(m_device.get(), nullptr));
    m_window->show();
}

void TestProbeWindow::readFillsBothTables()
{
    openWindow(tcpDescription(m_server->port()));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Регистры — Boiler"));
    QVERIFY(!child<QLabel>("labelNote")->isVisible());
    child<QSpinBox>("spinFirstRegister")->setValue(100);
    child<QSpinBox>("spinCount")->setValue(3);
    QTest::mouseClick(child<QPushButton>("buttonRead"), Qt::LeftButton);

    const QTableWidget *registers = child<QTableWidget>("tableRegisters");
    const QTableWidget *pairs = child<QTableWidget>("tablePairs");
    QTRY_COMPARE_WITH_TIMEOUT(registers->rowCount(), 3, WaitMs);
    QCOMPARE(rowTexts(registers, 0), QStringList({"100", "0x4048", "16456", "16456", "0100 0000 0100 1000"}));
    QCOMPARE(rowTexts(registers, 1), QStringList({"101", "0xF5C3", "62915", "-2621", "1111 0101 1100 0011"}));
    // Two pairs, int32, uint32 and float32 each.
    QCOMPARE(pairs->rowCount(), 6);
    QCOMPARE(rowTexts(pairs, 2), QStringList({"100-101", "float32", "3.14", "-4.950203e+32", "197391.8", "-490.5645"}));
    QCOMPARE(rowTexts(pairs, 3),
             QStringList({"101-102", "int32", "-171769855", "128451", "-1007353600", "16827381"}));
    QCOMPARE(m_server->requests().size(), 1);
}

void TestProbeWindow::readsInputRegistersAlongsideAConnectedTcpDevice()
{
    openWindow(tcpDescription(m_server->port()));
    m_device->connectDevice();
    QTRY_VERIFY_WITH_TIMEOUT(m_device->connected(), WaitMs);
    QVERIFY(child<QPushButton>("buttonRead")->isEnabled());

    child<QSpinBox>("spinFirstRegister")->setValue(10);
    child<QSpinBox>("spinCount")->setValue(2);
    child<QCheckBox>("checkInput")->setChecked(true);
    QTest::mouseClick(child<QPushButton>("buttonRead"), Qt::LeftButton);
    const QTableWidget *pairs = child<QTableWidget>("tablePairs");
    QTRY_COMPARE_WITH_TIMEOUT(pairs->rowCount(), 3, WaitMs);
    QCOMPARE(rowTexts(pairs, 0), QStringList({"10-11", "int32", "100000", "-2036334591", "16818310", "-1601830656"}));
    QCOMPARE(m_server->requests().constLast().functionCode(), QModbusPdu::ReadInputRegisters);
}

void TestProbeWindow::continuousReadsRepeat()
{
    openWindow(tcpDescription(m_server->port()));
    child<QSpinBox>("spinFirstRegister")->setValue(100);
    child<QSpinBox>("spinCount")->setValue(1);
    QTest::mouseClick(child<QPushButton>("buttonContinuous"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(m_server->requests().size() >= 3, WaitMs);

    QTest::mouseClick(child<QPushButton>("buttonContinuous"), Qt::LeftButton);
    const int afterStop = m_server->requests().size();
    // A second past the last answer the next read would have gone.
    QSignalSpy requests(m_server.get(), &RecordingModbusServer::requestReceived);
    QVERIFY(!requests.wait(2500));
    QVERIFY(m_server->requests().size() <= afterStop + 1);
}

void TestProbeWindow::connectedSerialDeviceDisablesReading()
{
    PtyPeer line;
    QVERIFY(line.isOpen());
    openWindow("device: Pump\nprotocol: ModBUS RTU\nport: " + line.slavePath().toUtf8()
               + "\nbaudrate: 19200\nid: 3\nvariables:\n  - {name: T, addr: 0}\n");
    QVERIFY(child<QPushButton>("buttonRead")->isEnabled());

    // Nobody answers; the window lets the line go once the read has failed.
    QTest::mouseClick(child<QPushButton>("buttonRead"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(child<QLabel>("labelStatus")->text().startsWith(QStringLiteral("Чтение не удалось")), WaitMs);
    QCOMPARE(line.takeReceived().left(2), QByteArray::fromHex("0303"));

    // Connected after the window opened: the next read finds the line taken.
    m_device->connectDevice();
    QTRY_VERIFY_WITH_TIMEOUT(m_device->connected(), WaitMs);
    QTest::mouseClick(child<QPushButton>("buttonRead"), Qt::LeftButton);
    QCOMPARE(child<QLabel>("labelNote")->text(), QStringLiteral("Отключите устройство, чтобы читать регистры напрямую"));
    QVERIFY(child<QLabel>("labelNote")->isVisible());
    QVERIFY(!child<QPushButton>("buttonRead")->isEnabled());
    QVERIFY(!child<QPushButton>("buttonContinuous")->isEnabled());
    QCOMPARE(line.takeReceived(), QByteArray());

    // A window opened on the connected device starts with reading off.
    m_window.reset(new ProbeWindow(m_device.get(), nullptr));
    m_window->show();
    QVERIFY(child<QLabel>("labelNote")->isVisible());
    QVERIFY(!child<QPushButton>("buttonRead")->isEnabled());

    // The device disconnected, the window may read again.
    m_device->disconnectDevice();
    QTRY_VERIFY_WITH_TIMEOUT(child<QPushButton>("buttonRead")->isEnabled(), WaitMs);
    QVERIFY(!child<QLabel>("labelNote")->isVisible());
}

void TestProbeWindow::velmorbusDeviceIsNotRead()
{
    openWindow("device: Clock\nprotocol: VelmorBUS RTU\nport: /dev/null\nid: 1\nvariables:\n  - {name: T, addr: 0}\n");
    QVERIFY(child<QLabel>("labelNote")->isVisible());
    QVERIFY(child<QLabel>("labelNote")->text().contains(QStringLiteral("Modbus")));
    QVERIFY(!child<QPushButton>("buttonRead")->isEnabled());
}

QTEST_MAIN(TestProbeWindow)

#include "tst_probewindow.moc"
