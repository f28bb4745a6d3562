#include "descriptiondir.h"
#include "registerformats.h"
#include "registerprobe.h"
#include "scantargets.h"
#include "simprocess.h"

#include <QModbusReply>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QByteArray variables = ScanTargets::registersInEveryOrder;
constexpr int ServerAddress = 5;
constexpr int WaitMs = 10000;

enum class Transport { Rtu, Tcp };

} // namespace

Q_DECLARE_METATYPE(Transport)

// The register probe reading velmor-sim over Modbus RTU on a pseudo-terminal and over
// Modbus TCP, and the ways a read fails.
class TestRegisterProbe : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readsEachWordOrderRaw_data();
    void readsEachWordOrderRaw();
    void readsInputRegisters();
    void refusals_data();
    void refusals();
    void unansweredReadTimesOut();

private:
    // Starts velmor-sim on the transport and points the probe at it.
    bool serve(Transport transport);
    // The reason of the one failure the probe reports after read().
    QString failure(int firstRegister, int count);

    std::unique_ptr<QTemporaryDir> m_linkDir;
    std::unique_ptr<DescriptionDir> m_dir;
    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<RegisterProbe> m_probe;
};

void TestRegisterProbe::init()
{
    m_linkDir.reset(new QTemporaryDir);
    m_dir.reset(new DescriptionDir);
    m_sim.reset(new SimProcess);
    m_probe.reset(new RegisterProbe);
}

void TestRegisterProbe::cleanup()
{
    m_probe.reset();
    m_sim.reset();
    m_dir.reset();
    m_linkDir.reset();
}

bool TestRegisterProbe::serve(Transport transport)
{
    ScanCandidate device;
    device.address = ServerAddress;
    const QByteArray id = "id: " + QByteArray::number(ServerAddress) + "\n";
    if (transport == Transport::Rtu) {
        const QString link = m_linkDir->filePath(QStringLiteral("controller"));
        device.baudRate = 115200;
        device.parity = QStringLiteral("none");
        const QString file = m_dir->write(QStringLiteral("device.yml"),
                                          "protocol: ModBUS RTU\nport: /dev/null\nbaudrate: 115200\n" + id + variables);
        m_probe->setLink(device, link, QString(), 0);
        return m_sim->start({QStringLiteral("--static"), QStringLiteral("--pty"), link, file});
    }
    const int port = SimProcess::freePort();
    device.protocol = ScanPlan::Protocol::ModbusTcp;
    const QString file = m_dir->write(QStringLiteral("device.yml"), "protocol: ModBUS TCP\n" + id + variables);
    m_probe->setLink(device, QString(), QStringLiteral("127.0.0.1"), port);
    return m_sim->start({QStringLiteral("--static"), QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port), file});
}

QString TestRegisterProbe::failure(int firstRegister, int count)
{
    QSignalSpy failed(m_probe.get(), &RegisterProbe::failed);
    QSignalSpy read(m_probe.get(), &RegisterProbe::registersRead);
    m_probe->read(firstRegister, count, false);
    if (failed.isEmpty() && !failed.wait(WaitMs))
        return QString();
    return read.isEmpty() && failed.size() == 1 ? failed.first().first().toString() : QString();
}

void TestRegisterProbe::readsEachWordOrderRaw_data()
{
    QTest::addColumn<Transport>("transport");
    QTest::addColumn<int>("firstRegister");
    QTest::addColumn<QVector<quint16>>("words");
    QTest::addColumn<int>("orderIndex");

    const QVector<quint16> abcd {0x4048, 0xF5C3};
    for (Transport transport : {Transport::Rtu, Transport::Tcp}) {
        const char *name = transport == Transport::Rtu ? "Modbus RTU" : "Modbus TCP";
        QTest::addRow("%s: float32 3.14 ABCD", name) << transport << 100 << abcd << 0;
        QTest::addRow("%s: float32 3.14 CDAB", name) << transport << 110 << QVector<quint16> {0xF5C3, 0x4048} << 1;
        QTest::addRow("%s: float32 3.14 BADC", name) << transport << 120 << QVector<quint16> {0x4840, 0xC3F5} << 2;
        QTest::addRow("%s: float32 3.14 DCBA", name) << transport << 130 << QVector<quint16> {0xC3F5, 0x4840} << 3;
    }
}

void TestRegisterProbe::readsEachWordOrderRaw()
{
    QFETCH(Transport, transport);
    QFETCH(int, firstRegister);
    QFETCH(QVector<quint16>, words);
    QFETCH(int, orderIndex);
    QVERIFY(serve(transport));

    QSignalSpy read(m_probe.get(), &RegisterProbe::registersRead);
    QSignalSpy failed(m_probe.get(), &RegisterProbe::failed);
    m_probe->read(firstRegister, 2, false);
    QVERIFY(read.wait(WaitMs));
    QCOMPARE(failed.size(), 0);
    QCOMPARE(read.first().at(0).toInt(), firstRegister);
    QCOMPARE(read.first().at(1).value<QVector<quint16>>(), words);
    QCOMPARE(RegisterFormats::pair(words.at(0), words.at(1)).float32.at(orderIndex), QStringLiteral("3.14"));
    // The replies are gone once answered.
    QTRY_COMPARE_WITH_TIMEOUT(m_probe->findChildren<QModbusReply *>().size(), 0, WaitMs);

    // A second read on the open link, across two variables.
    m_probe->read(140, 2, false);
    QVERIFY(read.wait(WaitMs));
    QCOMPARE(read.last().at(1).value<QVector<quint16>>(), QVector<quint16>({0x0001, 0x86A0}));
}

void TestRegisterProbe::readsInputRegisters()
{
    QVERIFY(serve(Transport::Tcp));
    QSignalSpy read(m_probe.get(), &RegisterProbe::registersRead);
    m_probe->read(10, 1, true);
    QVERIFY(read.wait(WaitMs));
    QCOMPARE(read.first().at(1).value<QVector<quint16>>(), QVector<quint16>({0xFFFE}));
}

void TestRegisterProbe::refusals_data()
{
    QTest::addColumn<Transport>("transport");
    QTest::addColumn<int>("firstRegister");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("reason");

    QTest::newRow("126 registers") << Transport::Tcp << 0 << 126 << "a read takes 1 to 125 registers, not 126";
    QTest::newRow("no register") << Transport::Tcp << 0 << 0 << "a read takes 1 to 125 registers, not 0";
    QTest::newRow("past 65535") << Transport::Tcp << 65535 << 2 << "registers 65535 to 65536 are not all within 0 to 65535";
    QTest::newRow("Modbus TCP: an address the device does not have")
        << Transport::Tcp << 5000 << 1 << "the device answered with exception 2 (illegal data address)";
    QTest::newRow("Modbus RTU: an address the device does not have")
        << Transport::Rtu << 5000 << 1 << "the device answered with exception 2 (illegal data address)";
}

void TestRegisterProbe::refusals()
{
    QFETCH(Transport, transport);
    QFETCH(int, firstRegister);
    QFETCH(int, count);
    QVERIFY(serve(transport));
    QTEST(failure(firstRegister, count), "reason");
}

void TestRegisterProbe::unansweredReadTimesOut()
{
    // A peer that takes the connection and never answers.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    ScanCandidate device;
    device.protocol = ScanPlan::Protocol::ModbusTcp;
    device.address = 1;
    m_probe->setLink(device, QString(), QStringLiteral("127.0.0.1"), silent.serverPort());
    m_probe->setTimeoutMs(300);
    QCOMPARE(failure(0, 1), QStringLiteral("no answer within 300 ms"));

    // Nothing listens on the port any more: the link cannot be opened.
    const int closedPort = silent.serverPort();
    silent.close();
    m_probe->setLink(device, QString(), QStringLiteral("127.0.0.1"), closedPort);
    QVERIFY(failure(0, 1).startsWith(QStringLiteral("cannot open 127.0.0.1:%1: ").arg(closedPort)));

    device.protocol = ScanPlan::Protocol::ModbusRtu;
    m_probe->setLink(device, m_linkDir->filePath(QStringLiteral("absent")), QString(), 0);
    QVERIFY(failure(0, 1).startsWith(QStringLiteral("cannot open %1: ").arg(m_linkDir->filePath(QStringLiteral("absent")))));
}

QTEST_GUILESS_MAIN(TestRegisterProbe)

#include "tst_registerprobe.moc"
