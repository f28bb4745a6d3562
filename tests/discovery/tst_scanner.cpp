#include "descriptiondir.h"
#include "ptypeer.h"
#include "scanner.h"
#include "scantargets.h"
#include "simprocess.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(ScanPlan::Protocol)

namespace {

const QByteArray modbusRtuDevice = ScanTargets::modbusRtu(5);
const QByteArray velmorbusDevice = ScanTargets::velmorbus(6);
const QByteArray modbusTcpDevice = ScanTargets::modbusTcp(7);

constexpr int WaitMs = 20000;

using Protocol = ScanPlan::Protocol;

ScanPlan serialPlan(const QString &port, int firstAddress, int lastAddress)
{
    ScanPlan plan;
    plan.serialPort = port;
    plan.baudRates = {19200};
    plan.parities = {QStringLiteral("none")};
    plan.firstAddress = firstAddress;
    plan.lastAddress = lastAddress;
    return plan;
}

ScanCandidate candidate(int baudRate, const char *parity, Protocol protocol, int address)
{
    ScanCandidate candidate;
    candidate.baudRate = baudRate;
    candidate.parity = QString::fromLatin1(parity);
    candidate.protocol = protocol;
    candidate.address = address;
    return candidate;
}

QString shown(const ScanCandidate &c)
{
    return QStringLiteral("%1 %2 %3 %4").arg(c.baudRate).arg(c.parity).arg(int(c.protocol)).arg(c.address);
}

} // namespace


// The scanner finds velmor-sim's one controller on a pseudo-terminal or a TCP port, in the
// documented order of candidates, and ends cleanly when cancelled or when the line fails.
class TestScanner : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void findsTheOneSerialController_data();
    void findsTheOneSerialController();
    void findsTheTcpUnitId();
    void triesCandidatesInTheDocumentedOrder();
    void silentLineFindsNothing();
    void stopsAtTheFirstFind();
    void cancelEndsTheScanOnce();
    void refusedConnectionFails();
    void portThatCannotOpenIsRefused();

private:
    bool startSim(const QByteArray &description, const QStringList &arguments);

    std::unique_ptr<QTemporaryDir> m_linkDir;
    std::unique_ptr<DescriptionDir> m_dir;
    std::unique_ptr<SimProcess> m_sim;
};

void TestScanner::initTestCase()
{
    qRegisterMetaType<ScanCandidate>();
    qRegisterMetaType<ScanFind>();
}

void TestScanner::init()
{
    m_linkDir.reset(new QTemporaryDir);
    m_dir.reset(new DescriptionDir);
    m_sim.reset(new SimProcess);
}

void TestScanner::cleanup()
{
    m_sim.reset();
    m_dir.reset();
    m_linkDir.reset();
}

bool TestScanner::startSim(const QByteArray &description, const QStringList &arguments)
{
    return m_sim->start(QStringList{QStringLiteral("--static")} + arguments
                        + QStringList{m_dir->write(QStringLiteral("device.yml"), description)});
}

void TestScanner::findsTheOneSerialController_data()
{
    QTest::addColumn<QByteArray>("description");
    QTest::addColumn<QVector<Protocol>>("protocols");
    QTest::addColumn<int>("probeAddress");
    QTest::addColumn<int>("address");
    QTest::addColumn<QVector<quint16>>("words");
    QTest::addColumn<int>("exceptionCode");

    const QVector<Protocol> modbus{Protocol::ModbusRtu};
    QTest::newRow("Modbus RTU register 0 read") << modbusRtuDevice << modbus << 0 << 5 << QVector<quint16>{0x41} << 0;
    QTest::newRow("Modbus RTU unused register refused with exception 2")
        << modbusRtuDevice << modbus << 100 << 5 << QVector<quint16>() << 2;
    QTest::newRow("Velmorbus value at 0x10 read") << velmorbusDevice << QVector<Protocol>{Protocol::ModbusRtu, Protocol::VelmorbusRtu}
                                                  << 0x10 << 6 << QVector<quint16>{0, 21} << 0;
}

void TestScanner::findsTheOneSerialController()
{
    QFETCH(QByteArray, description);
    QFETCH(QVector<Protocol>, protocols);
    QFETCH(int, probeAddress);
    QFETCH(int, address);
    QFETCH(QVector<quint16>, words);
    QFETCH(int, exceptionCode);

    const QString link = m_linkDir->filePath(QStringLiteral("line"));
    QVERIFY(startSim(description, {QStringLiteral("--pty"), link}));
    ScanPlan plan = serialPlan(link, 1, 8);
    plan.protocols = protocols;
    plan.probeAddress = probeAddress;

    Scanner scanner;
    QSignalSpy finished(&scanner, &Scanner::finished);
    QVERIFY(scanner.start(plan));
    QVERIFY(finished.wait(WaitMs));

    QCOMPARE(finished.first().first().toBool(), false);
    const QVector<ScanFind> finds = scanner.finds();
    QCOMPARE(finds.size(), 1);
    QCOMPARE(finds.first().candidate.address, address);
    QCOMPARE(finds.first().candidate.protocol, protocols.last());
    QCOMPARE(finds.first().words, words);
    QCOMPARE(finds.first().exceptionCode, exceptionCode);
    QVERIFY(!scanner.isRunning());
}

void TestScanner::findsTheTcpUnitId()
{
    const int port = SimProcess::freePort();
    QVERIFY(startSim(modbusTcpDevice, {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port)}));
    ScanPlan plan;
    plan.protocols = {Protocol::ModbusTcp};
    plan.tcpHost = QStringLiteral("127.0.0.1");
    plan.tcpPort = port;
    plan.lastAddress = 10;

    Scanner scanner;
    QSignalSpy found(&scanner, &Scanner::found);
    QSignalSpy finished(&scanner, &Scanner::finished);
    QVERIFY(scanner.start(plan));
    QVERIFY(finished.wait(WaitMs));

    QCOMPARE(found.size(), 1);
    const ScanFind find = found.first().first().value<ScanFind>();
    QCOMPARE(find.candidate.address, 7);
    QCOMPARE(find.summary(), QStringLiteral("Modbus TCP, unit id 7: register 0 = 0x0041"));
}

void TestScanner::triesCandidatesInTheDocumentedOrder()
{
    // A pseudo-terminal carries any baud rate and parity: the order is what is judged here.
    PtyPeer silentLine;
    QVERIFY(silentLine.isOpen());
    ScanPlan plan = serialPlan(silentLine.slavePath(), 3, 4);
    plan.baudRates = {19200, 9600};
    plan.parities = {QStringLiteral("even"), QStringLiteral("none")};
    plan.protocols = {Protocol::VelmorbusRtu, Protocol::ModbusRtu};
    plan.timeoutMs = 20;

    Scanner scanner;
    QSignalSpy tried(&scanner, &Scanner::candidateTried);
    QSignalSpy finished(&scanner, &Scanner::finished);
    QVERIFY(scanner.start(plan));
    QVERIFY(finished.wait(WaitMs));

    const Protocol m = Protocol::ModbusRtu;
    const Protocol v = Protocol::VelmorbusRtu;
    const QVector<ScanCandidate> expected{
        candidate(19200, "even", m, 3), candidate(19200, "even", m, 4),
        candidate(19200, "even", v, 3), candidate(19200, "even", v, 4),
        candidate(19200, "none", m, 3), candidate(19200, "none", m, 4),
        candidate(19200, "none", v, 3), candidate(19200, "none", v, 4),
        candidate(9600, "even", m, 3), candidate(9600, "even", m, 4),
        candidate(9600, "even", v, 3), candidate(9600, "even", v, 4),
        candidate(9600, "none", m, 3), candidate(9600, "none", m, 4),
        candidate(9600, "none", v, 3), candidate(9600, "none", v, 4),
    };
    QCOMPARE(plan.candidateCount(), expected.size());
    QCOMPARE(tried.size(), expected.size());
    for (int index = 0; index < expected.size(); ++index) {
        const QList<QVariant> &arguments = tried.at(index);
        QCOMPARE(arguments.at(0).toInt(), index + 1);
        QCOMPARE(arguments.at(1).toInt(), expected.size());
        QCOMPARE(shown(arguments.at(2).value<ScanCandidate>()), shown(expected.at(index)));
    }
}

void TestScanner::silentLineFindsNothing()
{
    PtyPeer silentLine;
    QVERIFY(silentLine.isOpen());
    Scanner scanner;
    QSignalSpy found(&scanner, &Scanner::found);
    QSignalSpy finished(&scanner, &Scanner::finished);
    QVERIFY(scanner.start(serialPlan(silentLine.slavePath(), 0, 3)));
    QVERIFY(finished.wait(WaitMs));

    QCOMPARE(finished.first().first().toBool(), false);
    QVERIFY(found.isEmpty());
    QVERIFY(scanner.finds().isEmpty());
    // Reads only, function 0x03, eight bytes each; none to the broadcast address 0, which
    // nobody answers.
    QTRY_COMPARE_WITH_TIMEOUT(silentLine.received().size(), 3 * 8, WaitMs);
    const QByteArray sent = silentLine.received();
    for (int address = 1; address <= 3; ++address) {
        QCOMPARE(int(sent.at((address - 1) * 8)), address);
        QCOMPARE(int(sent.at((address - 1) * 8 + 1)), 0x03);
    }
}

void TestScanner::stopsAtTheFirstFind()
{
    const QString link = m_linkDir->filePath(QStringLiteral("line"));
    QVERIFY(startSim(modbusRtuDevice, {QStringLiteral("--pty"), link}));
    ScanPlan plan = serialPlan(link, 1, 20);
    plan.stopAtFirstFind = true;

    Scanner scanner;
    QSignalSpy tried(&scanner, &Scanner::candidateTried);
    QSignalSpy finished(&scanner, &Scanner::finished);
    QVERIFY(scanner.start(plan));
    QVERIFY(finished.wait(WaitMs));

    QCOMPARE(finished.first().first().toBool(), false);
    QCOMPARE(tried.size(), 5);
    QCOMPARE(scanner.finds().size(), 1);
}

void TestScanner::cancelEndsTheScanOnce()
{
    PtyPeer silentLine;
    QVERIFY(silentLine.isOpen());
    Scanner scanner;
    scanner.cancel();
    QSignalSpy tried(&scanner, &Scanner::candidateTried);
    QSignalSpy finished(&scanner, &Scanner::finished);
    QVERIFY(scanner.start(serialPlan(silentLine.slavePath(), 1, 247)));
    QVERIFY(tried.wait(WaitMs));
    scanner.cancel();
    scanner.cancel();

    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().toBool(), true);
    QVERIFY(!scanner.isRunning());
    const int triedAtCancel = tried.size();
    // Longer than a read's timeout: an answer or timeout of the abandoned read is not reported.
    QVERIFY(!finished.wait(300));
    QCOMPARE(tried.size(), triedAtCancel);
}

void TestScanner::refusedConnectionFails()
{
    ScanPlan plan;
    plan.protocols = {Protocol::ModbusTcp};
    plan.tcpHost = QStringLiteral("127.0.0.1");
    plan.tcpPort = SimProcess::freePort();

    Scanner scanner;
    QSignalSpy failed(&scanner, &Scanner::failed);
    QSignalSpy finished(&scanner, &Scanner::finished);
    if (scanner.start(plan))
        QVERIFY(finished.wait(WaitMs));
    QCOMPARE(failed.size(), 1);
    QVERIFY(scanner.finds().isEmpty());
}

void TestScanner::portThatCannotOpenIsRefused()
{
    Scanner scanner;
    QSignalSpy failed(&scanner, &Scanner::failed);
    QVERIFY(!scanner.start(serialPlan(m_linkDir->filePath(QStringLiteral("no-such-port")), 1, 3)));
    QCOMPARE(failed.size(), 1);
    QVERIFY(failed.first().first().toString().startsWith(QStringLiteral("cannot open ")));
}

QTEST_GUILESS_MAIN(TestScanner)
#include "tst_scanner.moc"
