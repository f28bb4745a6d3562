#include "descriptiondir.h"
#include "simprocess.h"

#include <QModbusReply>
#include <QModbusTcpClient>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>

using Registers = QVector<quint16>;

namespace {

const QByteArray description = R"(device: Тестовый контроллер
protocol: ModBUS TCP
host: 127.0.0.1
port: 1502
id: 1
variables:
  - {name: S16, addr: 10, type: int16, value: -2}
  - {name: B16, addr: 11, type: int16, bitfield: true, value: 0xFFFF}
  - {name: S32, addr: 20, type: int32, value: 0x12345678}
  - {name: N16, addr: 22, type: int16, value: 3}
  - {name: F32, addr: 30, type: float32, value: 1.0}
  - {name: RAW, addr: 40, value: -2}
  - {name: IN16, addr: 10, type: int16, input: true, value: 7}
  - {name: IN32, addr: 12, type: int32, input: true, value: 65536}
  - {name: W16, addr: 100, type: int16, rw: true, value: 0}
  - {name: W32, addr: 110, type: int32, rw: true}
  - {name: WF, addr: 120, type: float32, rw: true}
  - {name: WRAW, addr: 130, rw: true}
  - {name: WBITS, addr: 140, type: int32, bitfield: true, rw: true}
)";

// Head of the small descriptions that serve one word order each.
const QByteArray orderHead = "protocol: ModBUS TCP\nhost: 127.0.0.1\nid: 1\n";

constexpr int ReplyTimeoutMs = 10000;
// Requests one client sends at once in the pipelining tests: serving them all takes the
// simulator several seconds, so a request of another client, or a signal, that has to
// wait for them shows up far behind half of them.
constexpr int PipelinedRequests = 100000;
// The holding register read the pipelining client repeats, and what the log says of it.
const QByteArray PipelinedRead = QByteArray::fromHex("0300140002");
const QByteArray PipelinedReadLog = " | read holding addr=0x0014 count=2\n";
// Waits for the simulator to notice a client that reads nothing; it gives such a client 5 s.
constexpr int DropTimeoutMs = 60000;

// The outcome of one request: the registers read, or the exception code (0 for none,
// -1 when no answer came).
struct Outcome
{
    Registers registers;
    int exceptionCode = -1;
};

} // namespace

// velmor-sim serving Modbus TCP, talked to with Qt's Modbus client.
class TestSimModbusTcp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void readsInReadWordOrder_data();
    void readsInReadWordOrder();
    void readsAcrossVariables_data();
    void readsAcrossVariables();
    void writeReadsBack_data();
    void writeReadsBack();
    void readsInEachWordOrder_data();
    void readsInEachWordOrder();
    void writesInEachWordOrder_data();
    void writesInEachWordOrder();
    void refusals_data();
    void refusals();
    void trafficIsLogged();
    void readOnlyValuesMove();
    void exceptionFaultUsesChosenCode();
    void sameSeedGivesSameFaults();
    void listensOnTheFileHostAndPortByDefault();
    void functionsNotServedAreRefused_data();
    void functionsNotServedAreRefused();
    void pipeliningClientDoesNotHoldUpOthers();
    void signalStopsTheSimulatorWhileAClientPipelines();
    void clientThatReadsNothingIsDropped();
    void acceptingResumesOnceDescriptorsAreFreeAgain();

private:
    // A client that has sent PipelinedRequests requests at once and is being answered.
    bool startPipelining(QTcpSocket *socket, bool reads);
    // How many of the pipelined requests the simulator had logged before the line with text.
    int pipelinedBefore(const QByteArray &text);
    bool startSim(SimProcess *sim, const QStringList &extraArguments, int port,
                  const QByteArray &contents = description);
    // Serves the contents instead, without moving values, to a new client.
    bool serve(const QByteArray &contents);
    bool connectClient(int port);
    Outcome finish(QModbusReply *reply);
    // Function code and data of the answer to a request given the same way; empty when
    // none came.
    QByteArray exchange(const QByteArray &request);
    Outcome read(QModbusDataUnit::RegisterType table, int addr, int count);
    Outcome write(int addr, const Registers &values);

    std::unique_ptr<DescriptionDir> m_dir;
    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<QModbusTcpClient> m_client;
    int m_port = 0;
};

void TestSimModbusTcp::initTestCase()
{
    qRegisterMetaType<QModbusDevice::State>();
}

void TestSimModbusTcp::init()
{
    m_dir.reset(new DescriptionDir);
    m_sim.reset(new SimProcess);
    m_port = SimProcess::freePort();
    QVERIFY(startSim(m_sim.get(), { QStringLiteral("--static") }, m_port));
    QVERIFY(connectClient(m_port));
}

void TestSimModbusTcp::cleanup()
{
    m_client.reset();
    m_sim.reset();
    m_dir.reset();
}

bool TestSimModbusTcp::startSim(SimProcess *sim, const QStringList &extraArguments, int port,
                                const QByteArray &contents)
{
    const QString file = m_dir->write(QStringLiteral("device.yml"), contents);
    return sim->start(extraArguments + QStringList { QStringLiteral("--listen"),
                                                     QStringLiteral("127.0.0.1:%1").arg(port), file });
}

bool TestSimModbusTcp::serve(const QByteArray &contents)
{
    m_client.reset();
    m_sim.reset(new SimProcess);
    return startSim(m_sim.get(), { QStringLiteral("--static") }, m_port, contents) && connectClient(m_port);
}

bool TestSimModbusTcp::connectClient(int port)
{
    m_client.reset(new QModbusTcpClient);
    m_client->setConnectionParameter(QModbusDevice::NetworkAddressParameter, QStringLiteral("127.0.0.1"));
    m_client->setConnectionParameter(QModbusDevice::NetworkPortParameter, port);
    m_client->setTimeout(ReplyTimeoutMs);
    m_client->setNumberOfRetries(0);
    QSignalSpy stateSpy(m_client.get(), &QModbusDevice::stateChanged);
    if (!m_client->connectDevice())
        return false;
    while (m_client->state() == QModbusDevice::ConnectingState && stateSpy.wait(ReplyTimeoutMs)) {
    }
    return m_client->state() == QModbusDevice::ConnectedState;
}

Outcome TestSimModbusTcp::finish(QModbusReply *reply)
{
    Outcome outcome;
    if (!reply)
        return outcome;
    QSignalSpy finished(reply, &QModbusReply::finished);
    if (reply->isFinished() || finished.wait(ReplyTimeoutMs)) {
        if (reply->error() == QModbusDevice::NoError) {
            outcome.exceptionCode = 0;
            outcome.registers = reply->result().values();
        } else if (reply->error() == QModbusDevice::ProtocolError && reply->rawResult().dataSize() > 0) {
            // The exception code is the one data byte. QModbusPdu::exceptionCode() is not used:
            // the client stores the exception's function code sign-extended, which the
            // undefined-behaviour sanitizer rejects when the enumeration is read.
            outcome.exceptionCode = quint8(reply->rawResult().data().at(0));
        }
    }
    reply->deleteLater();
    return outcome;
}

QByteArray TestSimModbusTcp::exchange(const QByteArray &request)
{
    QModbusReply *reply = m_client->sendRawRequest(
        QModbusRequest(QModbusPdu::FunctionCode(quint8(request.at(0))), request.mid(1)), 1);
    if (!reply)
        return QByteArray();
    QSignalSpy finished(reply, &QModbusReply::finished);
    QByteArray answer;
    if (reply->isFinished() || finished.wait(ReplyTimeoutMs))
        answer = char(request.at(0)) + reply->rawResult().data();
    reply->deleteLater();
    return answer;
}

Outcome TestSimModbusTcp::read(QModbusDataUnit::RegisterType table, int addr, int count)
{
    return finish(m_client->sendReadRequest(QModbusDataUnit(table, addr, quint16(count)), 1));
}

// The request the device model sends: function 0x10, every field big-endian.
Outcome TestSimModbusTcp::write(int addr, const Registers &values)
{
    QByteArray data;
    QDataStream stream(&data, QIODevice::WriteOnly);
    stream << quint16(addr) << quint16(values.size()) << quint8(values.size() * 2);
    for (quint16 value : values)
        stream << value;
    return finish(m_client->sendRawRequest(QModbusRequest(QModbusPdu::WriteMultipleRegisters, data), 1));
}

void TestSimModbusTcp::readsInReadWordOrder_data()
{
    QTest::addColumn<QModbusDataUnit::RegisterType>("table");
    QTest::addColumn<int>("addr");
    QTest::addColumn<int>("count");
    QTest::addColumn<Registers>("expected");

    const auto holding = QModbusDataUnit::HoldingRegisters;
    const auto input = QModbusDataUnit::InputRegisters;
    QTest::newRow("int16 -2 is one register") << holding << 10 << 1 << Registers { 0xFFFE };
    QTest::newRow("int16 bit field 0xffff") << holding << 11 << 1 << Registers { 0xFFFF };
    QTest::newRow("int32 upper half first") << holding << 20 << 2 << Registers { 0x1234, 0x5678 };
    QTest::newRow("float32 1.0 upper half first") << holding << 30 << 2 << Registers { 0x3F80, 0x0000 };
    QTest::newRow("untyped -2 as 32 bits") << holding << 40 << 2 << Registers { 0xFFFF, 0xFFFE };
    QTest::newRow("two int16 in one read") << holding << 10 << 2 << Registers { 0xFFFE, 0xFFFF };
    QTest::newRow("input int16 at a holding address") << input << 10 << 1 << Registers { 7 };
    QTest::newRow("input int32 65536") << input << 12 << 2 << Registers { 0x0001, 0x0000 };
}

void TestSimModbusTcp::readsInReadWordOrder()
{
    QFETCH(QModbusDataUnit::RegisterType, table);
    QFETCH(int, addr);
    QFETCH(int, count);
    QFETCH(Registers, expected);

    const Outcome outcome = read(table, addr, count);
    QCOMPARE(outcome.exceptionCode, 0);
    QCOMPARE(outcome.registers, expected);
}

void TestSimModbusTcp::readsAcrossVariables_data()
{
    QTest::addColumn<QString>("unusedRegisters");
    QTest::addColumn<QModbusDataUnit::RegisterType>("table");
    QTest::addColumn<int>("addr");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("exceptionCode");
    QTest::addColumn<Registers>("expected");

    const auto holding = QModbusDataUnit::HoldingRegisters;
    const auto input = QModbusDataUnit::InputRegisters;
    const Registers s16ToS32 { 0xFFFE, 0xFFFF, 0, 0, 0, 0, 0, 0, 0, 0, 0x1234, 0x5678 };
    QTest::newRow("one read over an int32 and an int16") << QString() << holding << 20 << 3 << 0
                                                         << Registers { 0x1234, 0x5678, 3 };
    QTest::newRow("unused registers refused by default") << QString() << holding << 10 << 12 << 2 << Registers();
    QTest::newRow("unused registers refused when asked") << QStringLiteral("exception") << holding << 10 << 12 << 2
                                                         << Registers();
    QTest::newRow("unused registers read as 0") << QStringLiteral("zero") << holding << 10 << 12 << 0 << s16ToS32;
    QTest::newRow("unused input register reads as 0") << QStringLiteral("zero") << input << 10 << 4 << 0
                                                      << Registers { 7, 0, 0x0001, 0x0000 };
    QTest::newRow("only unused registers read as 0") << QStringLiteral("zero") << holding << 500 << 3 << 0
                                                     << Registers { 0, 0, 0 };
    QTest::newRow("used registers read alike either way") << QStringLiteral("zero") << holding << 10 << 2 << 0
                                                          << Registers { 0xFFFE, 0xFFFF };
}

void TestSimModbusTcp::readsAcrossVariables()
{
    QFETCH(QString, unusedRegisters);
    QFETCH(QModbusDataUnit::RegisterType, table);
    QFETCH(int, addr);
    QFETCH(int, count);
    QFETCH(int, exceptionCode);
    QFETCH(Registers, expected);

    if (!unusedRegisters.isEmpty()) {
        m_client.reset();
        m_sim.reset(new SimProcess);
        QVERIFY(startSim(m_sim.get(), { QStringLiteral("--static"), QStringLiteral("--unused-registers"),
                                        unusedRegisters }, m_port));
        QVERIFY(connectClient(m_port));
    }
    const Outcome outcome = read(table, addr, count);
    QCOMPARE(outcome.exceptionCode, exceptionCode);
    QCOMPARE(outcome.registers, expected);
}

void TestSimModbusTcp::writeReadsBack_data()
{
    QTest::addColumn<int>("addr");
    QTest::addColumn<Registers>("written");
    QTest::addColumn<Registers>("readBack");

    QTest::newRow("int16 -2") << 100 << Registers { 0xFFFE } << Registers { 0xFFFE };
    QTest::newRow("int32 0x12345678 upper half first") << 110 << Registers { 0x1234, 0x5678 }
                                                      << Registers { 0x1234, 0x5678 };
    QTest::newRow("float32 1.0 upper half first") << 120 << Registers { 0x3F80, 0x0000 }
                                                 << Registers { 0x3F80, 0x0000 };
    QTest::newRow("untyped -1") << 130 << Registers { 0xFFFF, 0xFFFF } << Registers { 0xFFFF, 0xFFFF };
    QTest::newRow("bit field with bit 31") << 140 << Registers { 0x8000, 0x0001 } << Registers { 0x8000, 0x0001 };
}

void TestSimModbusTcp::writeReadsBack()
{
    QFETCH(int, addr);
    QFETCH(Registers, written);
    QFETCH(Registers, readBack);

    const Outcome writeOutcome = write(addr, written);
    QCOMPARE(writeOutcome.exceptionCode, 0);
    const Outcome readOutcome = read(QModbusDataUnit::HoldingRegisters, addr, written.size());
    QCOMPARE(readOutcome.exceptionCode, 0);
    QCOMPARE(readOutcome.registers, readBack);
}

void TestSimModbusTcp::readsInEachWordOrder_data()
{
    QTest::addColumn<QByteArray>("deviceOrder");
    QTest::addColumn<QByteArray>("variables");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer");

    const auto int32At200 = [](const QByteArray &order) {
        return "  - {name: V, addr: 200, type: int32, value: 0x11223344" + order + "}\n";
    };
    const auto int16At200 = [](const QByteArray &order) {
        return "  - {name: V, addr: 200, type: int16, value: 0x1122" + order + "}\n";
    };
    const QByteArray readTwo = QByteArray::fromHex("0300c80002");
    const QByteArray readOne = QByteArray::fromHex("0300c80001");
    QTest::newRow("int32 0x11223344 without an order: ABCD")
        << QByteArray() << int32At200("") << readTwo << QByteArray::fromHex("030411223344");
    QTest::newRow("int32 0x11223344 ABCD")
        << QByteArray() << int32At200(", wordorder: ABCD") << readTwo << QByteArray::fromHex("030411223344");
    QTest::newRow("int32 0x11223344 CDAB")
        << QByteArray() << int32At200(", wordorder: CDAB") << readTwo << QByteArray::fromHex("030433441122");
    QTest::newRow("int32 0x11223344 BADC")
        << QByteArray() << int32At200(", wordorder: BADC") << readTwo << QByteArray::fromHex("030422114433");
    QTest::newRow("int32 0x11223344 DCBA")
        << QByteArray() << int32At200(", wordorder: DCBA") << readTwo << QByteArray::fromHex("030444332211");
    QTest::newRow("int32 0x11223344 legacy reads as ABCD")
        << QByteArray() << int32At200(", wordorder: legacy") << readTwo << QByteArray::fromHex("030411223344");
    QTest::newRow("float32 1.0 DCBA")
        << QByteArray() << QByteArray("  - {name: V, addr: 200, type: float32, value: 1.0, wordorder: DCBA}\n") << readTwo
        << QByteArray::fromHex("03040000803f");
    QTest::newRow("int16 0x1122 CDAB keeps its bytes")
        << QByteArray() << int16At200(", wordorder: CDAB") << readOne << QByteArray::fromHex("03021122");
    QTest::newRow("int16 0x1122 BADC swaps its bytes")
        << QByteArray() << int16At200(", wordorder: BADC") << readOne << QByteArray::fromHex("03022211");
    QTest::newRow("int16 0x1122 DCBA swaps its bytes")
        << QByteArray() << int16At200(", wordorder: DCBA") << readOne << QByteArray::fromHex("03022211");
    QTest::newRow("device CDAB for a variable without its own")
        << QByteArray("wordorder: CDAB\n") << int32At200("") << readTwo << QByteArray::fromHex("030433441122");
    QTest::newRow("own ABCD over the device's DCBA")
        << QByteArray("wordorder: DCBA\n") << int32At200(", wordorder: ABCD") << readTwo
        << QByteArray::fromHex("030411223344");
    QTest::newRow("second register alone, CDAB")
        << QByteArray() << int32At200(", wordorder: CDAB") << QByteArray::fromHex("0300c90001")
        << QByteArray::fromHex("03021122");
    QTest::newRow("one read over an int32 DCBA and an int16 BADC")
        << QByteArray()
        << int32At200(", wordorder: DCBA") + "  - {name: W, addr: 202, type: int16, value: 0x5566, wordorder: BADC}\n"
        << QByteArray::fromHex("0300c80003") << QByteArray::fromHex("0306443322116655");
}

void TestSimModbusTcp::readsInEachWordOrder()
{
    QFETCH(QByteArray, deviceOrder);
    QFETCH(QByteArray, variables);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);

    QVERIFY(serve(orderHead + deviceOrder + "variables:\n" + variables));
    QCOMPARE(exchange(request).toHex(), answer.toHex());
}

void TestSimModbusTcp::writesInEachWordOrder_data()
{
    QTest::addColumn<QByteArray>("deviceOrder");
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QByteArray>("readBack");

    const auto int32At200 = [](const QByteArray &order) {
        return "  - {name: V, addr: 200, type: int32, rw: true" + order + "}\n";
    };
    QTest::newRow("int32 0x11223344 without an order: ABCD")
        << QByteArray() << int32At200("") << QByteArray::fromHex("1000c800020411223344") << QByteArray("V=287454020")
        << QByteArray::fromHex("030411223344");
    QTest::newRow("int32 0x11223344 CDAB")
        << QByteArray() << int32At200(", wordorder: CDAB") << QByteArray::fromHex("1000c800020433441122")
        << QByteArray("V=287454020") << QByteArray::fromHex("030433441122");
    QTest::newRow("int32 0x11223344 BADC")
        << QByteArray() << int32At200(", wordorder: BADC") << QByteArray::fromHex("1000c800020422114433")
        << QByteArray("V=287454020") << QByteArray::fromHex("030422114433");
    QTest::newRow("int32 0x11223344 DCBA")
        << QByteArray() << int32At200(", wordorder: DCBA") << QByteArray::fromHex("1000c800020444332211")
        << QByteArray("V=287454020") << QByteArray::fromHex("030444332211");
    QTest::newRow("int32 0x11223344 legacy writes as CDAB, reads as ABCD")
        << QByteArray() << int32At200(", wordorder: legacy") << QByteArray::fromHex("1000c800020433441122")
        << QByteArray("V=287454020") << QByteArray::fromHex("030411223344");
    QTest::newRow("StartDelay 70000 ABCD")
        << QByteArray() << int32At200("") << QByteArray::fromHex("1000c800020400011170") << QByteArray("V=70000")
        << QByteArray::fromHex("030400011170");
    QTest::newRow("StartDelay 70000 with the device's legacy")
        << QByteArray("wordorder: legacy\n") << int32At200("") << QByteArray::fromHex("1000c800020411700001")
        << QByteArray("V=70000") << QByteArray::fromHex("030400011170");
    QTest::newRow("float32 1.0 CDAB")
        << QByteArray() << QByteArray("  - {name: V, addr: 200, type: float32, rw: true, wordorder: CDAB}\n")
        << QByteArray::fromHex("1000c800020400003f80") << QByteArray("V=1") << QByteArray::fromHex("030400003f80");
    QTest::newRow("int16 0x1122 BADC")
        << QByteArray() << QByteArray("  - {name: V, addr: 200, type: int16, rw: true, wordorder: BADC}\n")
        << QByteArray::fromHex("1000c80001022211") << QByteArray("V=4386") << QByteArray::fromHex("03022211");
}

void TestSimModbusTcp::writesInEachWordOrder()
{
    QFETCH(QByteArray, deviceOrder);
    QFETCH(QByteArray, variable);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, readBack);

    QVERIFY(serve(orderHead + deviceOrder + "variables:\n" + variable));
    // The answer to a write repeats its address and register count.
    QCOMPARE(exchange(request).toHex(), request.left(5).toHex());
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->output().contains(" | ok " + stored + '\n'), ReplyTimeoutMs);
    QCOMPARE(exchange(QByteArray::fromHex("0300c8") + request.mid(3, 2)).toHex(), readBack.toHex());
}

void TestSimModbusTcp::refusals_data()
{
    QTest::addColumn<bool>("isWrite");
    QTest::addColumn<int>("addr");
    QTest::addColumn<Registers>("values");

    QTest::newRow("read of an unknown register") << false << 500 << Registers(1);
    QTest::newRow("read running past the last variable") << false << 11 << Registers(2);
    QTest::newRow("input register read as holding") << false << 12 << Registers(2);
    QTest::newRow("write of a read-only variable") << true << 10 << Registers { 1 };
    QTest::newRow("write of half a 32-bit variable") << true << 110 << Registers { 1 };
    QTest::newRow("write of an unknown register") << true << 500 << Registers { 1 };
}

void TestSimModbusTcp::refusals()
{
    QFETCH(bool, isWrite);
    QFETCH(int, addr);
    QFETCH(Registers, values);

    const Outcome outcome = isWrite ? write(addr, values)
                                    : read(QModbusDataUnit::HoldingRegisters, addr, values.size());
    QCOMPARE(outcome.exceptionCode, int(QModbusPdu::IllegalDataAddress));
}

void TestSimModbusTcp::trafficIsLogged()
{
    QCOMPARE(write(110, { 0x1234, 0x5678 }).exceptionCode, 0);
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->output().contains(" tx 10 00 6e 00 02 | ok W32=305419896\n"), ReplyTimeoutMs);
    QVERIFY(m_sim->output().contains(
        " rx 10 00 6e 00 02 04 12 34 56 78 | write addr=0x006e count=2 data=12345678\n"));
}

void TestSimModbusTcp::readOnlyValuesMove()
{
    SimProcess moving;
    const int port = SimProcess::freePort();
    QVERIFY(startSim(&moving, {}, port));
    QVERIFY(connectClient(port));
    const Outcome first = read(QModbusDataUnit::HoldingRegisters, 20, 2);
    QCOMPARE(first.exceptionCode, 0);
    // The ramp moves once a second; several seconds allow for a loaded machine.
    QTRY_VERIFY_WITH_TIMEOUT(read(QModbusDataUnit::HoldingRegisters, 20, 2).registers != first.registers, 5000);
}

void TestSimModbusTcp::exceptionFaultUsesChosenCode()
{
    SimProcess faulty;
    const int port = SimProcess::freePort();
    QVERIFY(startSim(&faulty, { "--fault-rate", "1", "--faults", "exception", "--exception-code", "6" }, port));
    QVERIFY(connectClient(port));

    QCOMPARE(read(QModbusDataUnit::HoldingRegisters, 10, 1).exceptionCode, int(QModbusPdu::ServerDeviceBusy));
    QTRY_VERIFY_WITH_TIMEOUT(faulty.output().contains(" tx 83 06 | exception 0x06 | fault: exception\n"),
                             ReplyTimeoutMs);
}

void TestSimModbusTcp::sameSeedGivesSameFaults()
{
    const QStringList faultArguments = { "--static", "--fault-rate", "0.5", "--faults", "exception", "--seed", "7" };
    QVector<int> patterns[2];
    for (QVector<int> &pattern : patterns) {
        SimProcess faulty;
        const int port = SimProcess::freePort();
        QVERIFY(startSim(&faulty, faultArguments, port));
        QVERIFY(connectClient(port));
        for (int i = 0; i < 20; ++i)
            pattern.append(read(QModbusDataUnit::HoldingRegisters, 10, 1).exceptionCode);
    }
    QCOMPARE(patterns[1], patterns[0]);
    QVERIFY(patterns[0].contains(0));
    // Without --exception-code the fault answers code 4.
    QVERIFY(patterns[0].contains(int(QModbusPdu::ServerDeviceFailure)));
}

void TestSimModbusTcp::listensOnTheFileHostAndPortByDefault()
{
    const int port = SimProcess::freePort();
    QByteArray text = description;
    text.replace("port: 1502", "port: " + QByteArray::number(port));
    SimProcess fromFile;
    QVERIFY(fromFile.start({ m_dir->write(QStringLiteral("own-port.yml"), text) }));
    QVERIFY(fromFile.output().contains(QByteArray("\nlistening on 127.0.0.1:") + QByteArray::number(port) + '\n'));
    QVERIFY(connectClient(port));
    QCOMPARE(read(QModbusDataUnit::InputRegisters, 10, 1).registers, Registers { 7 });
}

void TestSimModbusTcp::functionsNotServedAreRefused_data()
{
    QTest::addColumn<int>("functionCode");
    QTest::addColumn<QByteArray>("data");

    QTest::newRow("read coils") << 0x01 << QByteArray::fromHex("000a0001");
    QTest::newRow("encapsulated interface transport") << 0x2B << QByteArray::fromHex("0e0100");
    // The exception bit set: Qt keeps such a code sign-extended, the read code aside.
    QTest::newRow("0x83, read holding registers with the exception bit") << 0x83 << QByteArray::fromHex("000a0001");
    QTest::newRow("0xff") << 0xFF << QByteArray();
}

void TestSimModbusTcp::functionsNotServedAreRefused()
{
    QFETCH(int, functionCode);
    QFETCH(QByteArray, data);

    const QModbusRequest request(QModbusPdu::FunctionCode(functionCode), data);
    QCOMPARE(finish(m_client->sendRawRequest(request, 1)).exceptionCode, int(QModbusPdu::IllegalFunction));
    const QByteArray answer = QByteArray::number(functionCode | 0x80, 16) + " 01 | exception 0x01: function not served\n";
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->output().contains(" tx " + answer), ReplyTimeoutMs);
}

bool TestSimModbusTcp::startPipelining(QTcpSocket *socket, bool reads)
{
    socket->connectToHost(QHostAddress::LocalHost, quint16(m_port));
    if (!socket->waitForConnected(ReplyTimeoutMs))
        return false;
    if (reads)
        connect(socket, &QIODevice::readyRead, socket, [socket]() { socket->readAll(); });
    else
        // Qt would otherwise take in everything that arrives, unasked.
        socket->setReadBufferSize(1);
    QByteArray requests;
    QDataStream stream(&requests, QIODevice::WriteOnly);
    for (int transaction = 0; transaction < PipelinedRequests; ++transaction) {
        stream << quint16(transaction) << quint16(0) << quint16(1 + PipelinedRead.size()) << quint8(1);
        stream.writeRawData(PipelinedRead.constData(), PipelinedRead.size());
    }
    socket->write(requests);
    return QTest::qWaitFor([this]() { return m_sim->output().contains(PipelinedReadLog); }, ReplyTimeoutMs);
}

int TestSimModbusTcp::pipelinedBefore(const QByteArray &text)
{
    const QByteArray log = m_sim->output();
    return log.left(log.indexOf(text)).count(PipelinedReadLog);
}

void TestSimModbusTcp::pipeliningClientDoesNotHoldUpOthers()
{
    QTcpSocket greedy;
    QVERIFY(startPipelining(&greedy, true));
    QCOMPARE(read(QModbusDataUnit::InputRegisters, 10, 1).registers, Registers { 7 });
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->output().contains(" | read input addr=0x000a count=1\n"), ReplyTimeoutMs);
    const int servedFirst = pipelinedBefore(" | read input addr=0x000a count=1\n");
    QVERIFY2(servedFirst < PipelinedRequests / 2, qPrintable(QString::number(servedFirst)));
}

void TestSimModbusTcp::signalStopsTheSimulatorWhileAClientPipelines()
{
    QTcpSocket greedy;
    QVERIFY(startPipelining(&greedy, true));
    QVERIFY(m_sim->stop(SIGTERM));
    QVERIFY(m_sim->output().endsWith("stopped by signal 15\n"));
    const int servedFirst = pipelinedBefore("stopped by signal 15\n");
    QVERIFY2(servedFirst < PipelinedRequests / 2, qPrintable(QString::number(servedFirst)));
}

void TestSimModbusTcp::clientThatReadsNothingIsDropped()
{
    QTcpSocket greedy;
    QVERIFY(startPipelining(&greedy, false));
    // The client does not read, so it would not notice either: the simulator says so.
    const QByteArray line = QStringLiteral(" -- client 127.0.0.1:%1 dropped: it has read none of its last ")
                                .arg(greedy.localPort()).toUtf8();
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->output().contains(line), DropTimeoutMs);
    QCOMPARE(read(QModbusDataUnit::InputRegisters, 10, 1).registers, Registers { 7 });
}

void TestSimModbusTcp::acceptingResumesOnceDescriptorsAreFreeAgain()
{
#ifdef __SANITIZE_ADDRESS__
    // The undefined-behaviour checks open a pipe to judge a call the first time they meet
    // it, and take the failure for a fault of the program.
    QSKIP("The sanitizers need free descriptors of their own");
#endif
    // Room for the simulator's own descriptors and a few clients, far fewer than come. The
    // rest wait in the kernel's queue of 50, which has room left for the client after them.
    constexpr int DescriptorLimit = 32;
    constexpr int CrowdSize = 48;
    const rlimit fewDescriptors {DescriptorLimit, DescriptorLimit};
    QVERIFY(prlimit(pid_t(m_sim->processId()), RLIMIT_NOFILE, &fewDescriptors, nullptr) == 0);
    std::vector<std::unique_ptr<QTcpSocket>> crowd;
    for (int i = 0; i < CrowdSize; ++i) {
        crowd.push_back(std::make_unique<QTcpSocket>());
        crowd.back()->connectToHost(QHostAddress::LocalHost, quint16(m_port));
    }
    QTRY_VERIFY2_WITH_TIMEOUT(m_sim->output().contains(" -- cannot accept a connection: "), m_sim->output().right(2000).constData(), ReplyTimeoutMs);
    crowd.clear();
    m_client.reset();

    QVERIFY(connectClient(m_port));
    QCOMPARE(read(QModbusDataUnit::InputRegisters, 10, 1).registers, Registers { 7 });
    QVERIFY(m_sim->output().contains(" -- accepting connections again\n"));
}

QTEST_GUILESS_MAIN(TestSimModbusTcp)
#include "tst_simmodbustcp.moc"
