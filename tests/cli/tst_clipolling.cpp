#include "clirunner.h"
#include "descriptiondir.h"
#include "fakevelmorcontroller.h"
#include "ptypeer.h"
#include "recordingmodbusserver.h"

#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <QtTest>

#include <memory>

namespace {

const QByteArray threeVariables =
    "  - name: T1\n    addr: 0\n    type: int16\n    desc: Supply temperature\n"
    "  - name: T2\n    addr: 1\n    type: int16\n    value: 40\n    desc: Return temperature\n"
    "  - name: Mode\n    addr: 2\n    type: int16\n    rw: true\n    desc: Operating mode\n";

QByteArray modbusDescription(int port, const QByteArray &variables)
{
    return "device: Test\nprotocol: ModBUS TCP\nhost: 127.0.0.1\nport: " + QByteArray::number(port)
           + "\nid: 1\nvariables:\n" + variables;
}

// The cells of the table row whose name is name, the failure mark first if there is one.
QStringList tableRow(const QString &out, const QString &name)
{
    static const QRegularExpression gap(QStringLiteral("\\s{2,}"));
    const QStringList lines = out.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QStringList cells = line.trimmed().split(gap, Qt::SkipEmptyParts);
        const int nameColumn = cells.value(0) == QLatin1String("!") ? 2 : 1;
        if (cells.value(nameColumn) == name)
            return cells;
    }
    return QStringList();
}

QStringList fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringList();
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Answers reads of the register at address with an exception instead of its value.
RecordingModbusServer::Override failingReadAt(quint16 address)
{
    return [address](const QModbusRequest &request) -> QModbusResponse {
        quint16 start = 0;
        request.decodeData(&start);
        if (request.functionCode() == QModbusPdu::ReadHoldingRegisters && start == address)
            return QModbusExceptionResponse(request.functionCode(), QModbusPdu::IllegalDataAddress);
        return QModbusResponse();
    };
}

// Description and restore files are refused past 8 MiB.
constexpr int fileLimitBytes = 8 * 1024 * 1024;

// The text followed by a comment that makes it size bytes long.
QByteArray paddedTo(const QByteArray &text, int size)
{
    return text + '#' + QByteArray(size - text.size() - 1, 'x');
}

int closedTcpPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

// velmor-cli reading a controller: the table, the CSV log, polling and exit codes.
class TestCliPolling : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void tableShowsEveryVariable();
    void failedReadIsMarkedAndLaterRowsStayRight();
    void linkOverridesReplaceTheFile();
    void overridesOfTheOtherTransportAreNoted_data();
    void overridesOfTheOtherTransportAreNoted();
    void blockOverrideAndTrace();
    void csvRowPerCycle();
    void csvFailedValueIsEmptyCell();
    void csvOnChangeWritesOnlyChangedCycles();
    void csvAppendKeepsOneHeader();
    void cyclesStopAfterN();
    void watchStopsCleanlyOnSigterm();
    void usageErrors_data();
    void usageErrors();
    void fileSizeLimits_data();
    void fileSizeLimits();
    void refusedConnectionExitsWithThree();
    void missingSerialPortExitsWithThree();
    void framingReachesTheLine();
    void lostSerialLinkExitsWithOne_data();
    void lostSerialLinkExitsWithOne();
    void velmorbusTable();
    void emptyDescriptionEndsAsAnyOther_data();
    void emptyDescriptionEndsAsAnyOther();
    void wordOrderOverridesTheFile();
    void qtModbusLinesOnlyWhenVerbose_data();
    void qtModbusLinesOnlyWhenVerbose();

private:
    QString writeDescription(const QByteArray &variables = threeVariables);

    std::unique_ptr<DescriptionDir> m_dir;
    std::unique_ptr<CliRunner> m_cli;
    std::unique_ptr<RecordingModbusServer> m_server;
};

void TestCliPolling::init()
{
    m_cli = std::make_unique<CliRunner>();
    m_dir = std::make_unique<DescriptionDir>();
    m_server = std::make_unique<RecordingModbusServer>();
    QVERIFY(m_server->listen());
    m_server->setHoldingRegisters(0, {65, 48, 3});
}

void TestCliPolling::cleanup()
{
    // What the program said explains a failed check better than its exit code.
    if (QTest::currentTestFailed())
        qInfo().noquote() << "velmor-cli stdout:\n" << m_cli->out() << "\nvelmor-cli stderr:\n" << m_cli->err();
    m_cli.reset();
    m_server.reset();
    m_dir.reset();
}

QString TestCliPolling::writeDescription(const QByteArray &variables)
{
    return m_dir->write(QStringLiteral("device.yml"), modbusDescription(m_server->port(), variables));
}

void TestCliPolling::tableShowsEveryVariable()
{
    CliRunner &cli = *m_cli;
    QVERIFY(cli.run({writeDescription()}));
    QCOMPARE(cli.exitCode(), 0);
    QCOMPARE(tableRow(cli.out(), QStringLiteral("Name")),
             QStringList({QStringLiteral("Address"), QStringLiteral("Name"), QStringLiteral("Value"),
                          QStringLiteral("Description")}));
    QCOMPARE(tableRow(cli.out(), QStringLiteral("T1")),
             QStringList({QStringLiteral("0"), QStringLiteral("T1"), QStringLiteral("65"), QStringLiteral("Supply temperature")}));
    QCOMPARE(tableRow(cli.out(), QStringLiteral("T2")),
             QStringList({QStringLiteral("1"), QStringLiteral("T2"), QStringLiteral("48"), QStringLiteral("Return temperature")}));
    QCOMPARE(tableRow(cli.out(), QStringLiteral("Mode")),
             QStringList({QStringLiteral("2"), QStringLiteral("Mode"), QStringLiteral("3"), QStringLiteral("Operating mode")}));
    QCOMPARE(cli.err(), QString());
}

void TestCliPolling::failedReadIsMarkedAndLaterRowsStayRight()
{
    m_server->setOverride(failingReadAt(1));
    CliRunner &cli = *m_cli;
    QVERIFY(cli.run({writeDescription()}));
    QCOMPARE(cli.exitCode(), 1);
    // The failed variable keeps the value of the file, marked.
    QCOMPARE(tableRow(cli.out(), QStringLiteral("T2")),
             QStringList({QStringLiteral("!"), QStringLiteral("1"), QStringLiteral("T2"), QStringLiteral("40"),
                          QStringLiteral("Return temperature")}));
    QCOMPARE(tableRow(cli.out(), QStringLiteral("T1")).first(), QStringLiteral("0"));
    QCOMPARE(tableRow(cli.out(), QStringLiteral("Mode")).first(), QStringLiteral("2"));
    QCOMPARE(cli.err().count(QLatin1Char('\n')), 1);
}

void TestCliPolling::linkOverridesReplaceTheFile()
{
    const QString path = m_dir->write(QStringLiteral("elsewhere.yml"),
                                      "protocol: ModBUS TCP\nhost: 192.0.2.1\nport: 1\nid: 1\nvariables:\n" + threeVariables);
    CliRunner &cli = *m_cli;
    QVERIFY(cli.run({path, QStringLiteral("--host"), QStringLiteral("127.0.0.1"), QStringLiteral("--tcp-port"),
                     QString::number(m_server->port())}));
    QCOMPARE(cli.exitCode(), 0);
    QCOMPARE(tableRow(cli.out(), QStringLiteral("T1")).value(2), QStringLiteral("65"));
}

void TestCliPolling::overridesOfTheOtherTransportAreNoted_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("note");
    QTest::newRow("serial options on TCP")
        << QByteArray("protocol: ModBUS TCP\nhost: 127.0.0.1\nport: SERVER_PORT\nid: 1\n")
        << QStringList{QStringLiteral("--baudrate"), QStringLiteral("9600")}
        << QStringLiteral("velmor-cli: --port and --baudrate have no effect on ModBUS TCP; use --host and --tcp-port\n");
    QTest::newRow("TCP options on a serial line")
        << QByteArray("protocol: VelmorBUS RTU\nport: /dev/none\nbaudrate: 9600\n")
        << QStringList{QStringLiteral("--tcp-port"), QStringLiteral("502")}
        << QStringLiteral("velmor-cli: --host and --tcp-port have no effect on VelmorBUS RTU; use --port and --baudrate\n");
    QTest::newRow("framing options on TCP")
        << QByteArray("protocol: ModBUS TCP\nhost: 127.0.0.1\nport: SERVER_PORT\nid: 1\n")
        << QStringList{QStringLiteral("--parity"), QStringLiteral("even")}
        << QStringLiteral("velmor-cli: --parity, --databits and --stopbits have no effect on ModBUS TCP\n");
}

void TestCliPolling::overridesOfTheOtherTransportAreNoted()
{
    QFETCH(QByteArray, header);
    QFETCH(QStringList, options);
    QFETCH(QString, note);
    header.replace("SERVER_PORT", QByteArray::number(m_server->port()));
    const QString path = m_dir->write(QStringLiteral("device.yml"), header + "variables:\n" + threeVariables);
    CliRunner &cli = *m_cli;
    QVERIFY(cli.run(QStringList{path} + options));
    QVERIFY2(cli.err().startsWith(note), qPrintable(cli.err()));
}

void TestCliPolling::blockOverrideAndTrace()
{
    // The file asks for one read per variable; the option joins them.
    const QString path = m_dir->write(QStringLiteral("device.yml"),
                                      "block: 1\n" + modbusDescription(m_server->port(), threeVariables));
    CliRunner &cli = *m_cli;
    QVERIFY(cli.run({path, QStringLiteral("--block"), QStringLiteral("125"), QStringLiteral("--timeout"),
                     QStringLiteral("500"), QStringLiteral("--retries"), QStringLiteral("1"), QStringLiteral("--trace")}));
    QCOMPARE(cli.exitCode(), 0);
    QCOMPARE(m_server->requests().size(), 1);
    QCOMPARE(m_server->requests().first().data().toHex(), QByteArray("00000003"));
    const QStringList lines = cli.err().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    static const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} "));
    QVERIFY2(stamp.match(lines.at(0)).hasMatch(), qPrintable(lines.at(0)));
    QVERIFY(lines.at(0).endsWith(QLatin1String(" > 01 03 00 00 00 03")));
    QVERIFY(lines.at(1).endsWith(QLatin1String(" < 01 03 06 00 41 00 30 00 03")));
}

void TestCliPolling::csvRowPerCycle()
{
    const QString csv = m_dir->path() + QStringLiteral("/log.csv");
    CliRunner &cli = *m_cli;
    QVERIFY(cli.run({writeDescription(), QStringLiteral("--cycles"), QStringLiteral("3"), QStringLiteral("--interval"),
                     QStringLiteral("0"), QStringLiteral("--csv"), csv}));
    QCOMPARE(cli.exitCode(), 0);
    const QStringList lines = fileLines(csv);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.first(), QStringLiteral("time,cycle_ms,T1,T2,Mode"));
    const QRegularExpression row(QStringLiteral(
        "^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d),\\d+,65,48,3$"));
    for (const QString &line : lines.mid(1))
        QVERIFY2(row.match(line).hasMatch(), qPrintable(line));
}

void TestCliPolling::csvFailedValueIsEmptyCell()
{
    m_server->setOverride(failingReadAt(1));
    const QString csv = m_dir->path() + QStringLiteral("/log.csv");
    CliRunner &cli = *m_cli;
    QVERIFY(cli.run({writeDescription(), QStringLiteral("--csv"), csv}));
    QCOMPARE(cli.exitCode(), 1);
    const QStringList lines = fileLines(csv);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.at(1).endsWith(QStringLiteral(",65,,3")), qPrintable(lines.at(1)));
}

void TestCliPolling::csvOnChangeWritesOnlyChangedCycles()
{
    // Cycle 3 of 4 is the first to see the new value of T1; cycles 2 and 4 change nothing.
    const int requestsOfTwoCycles = 6;
    connect(m_server.get(), &RecordingModbusServer::requestReceived, this, [this] {
        if (m_server->requests().size() == requestsOfTwoCycles)
            m_server->setHoldingRegisters(0, {77});
    });
    const QString csv = m_dir->path() + QStringLiteral("/log.csv");
    CliRunner &cli = *m_cli;
    QVERIFY(cli.run({writeDescription(), QStringLiteral("--cycles"), QStringLiteral("4"), QStringLiteral("--interval"),
                     QStringLiteral("0"), QStringLiteral("--csv"), csv, QStringLiteral("--on-change")}));
    QCOMPARE(cli.exitCode(), 0);
    const QStringList lines = fileLines(csv);
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines.at(1).endsWith(QStringLiteral(",65,48,3")), qPrintable(lines.at(1)));
    QVERIFY2(lines.at(2).endsWith(QStringLiteral(",77,48,3")), qPrintable(lines.at(2)));
}

void TestCliPolling::csvAppendKeepsOneHeader()
{
    const QString csv = m_dir->path() + QStringLiteral("/log.csv");
    const QString description = writeDescription();
    CliRunner first;
    QVERIFY(first.run({description, QStringLiteral("--csv"), csv}));
    CliRunner &second = *m_cli;
    QVERIFY(second.run({description, QStringLiteral("--csv"), csv}));
    QCOMPARE(second.exitCode(), 0);
    const QStringList lines = fileLines(csv);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.filter(QStringLiteral("cycle_ms")).size(), 1);
}

void TestCliPolling::cyclesStopAfterN()
{
    CliRunner &cli = *m_cli;
    QVERIFY(cli.run({writeDescription(), QStringLiteral("--cycles"), QStringLiteral("2"), QStringLiteral("--interval"),
                     QStringLiteral("0")}));
    QCOMPARE(cli.exitCode(), 0);
    QVERIFY(cli.out().contains(QStringLiteral("Cycle 2 at")));
    QVERIFY(!cli.out().contains(QStringLiteral("Cycle 3 at")));
    QCOMPARE(m_server->requests().size(), 2 * 3);
}

void TestCliPolling::watchStopsCleanlyOnSigterm()
{
    CliRunner &cli = *m_cli;
    cli.start({writeDescription(), QStringLiteral("--watch"), QStringLiteral("--interval"), QStringLiteral("20")});
    QTRY_VERIFY_WITH_TIMEOUT(cli.out().contains(QStringLiteral("Cycle 2 at")), 20000);
    cli.process().terminate();
    QVERIFY(cli.waitForExit());
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    QCOMPARE(cli.exitCode(), 0);
    QVERIFY(cli.err().contains(QStringLiteral("velmor-cli: stopped")));
}

void TestCliPolling::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no description file") << QStringList();
    QTest::newRow("one description file twice") << QStringList({QStringLiteral("%FILE"), QStringLiteral("%FILE")});
    QTest::newRow("unknown option") << QStringList({QStringLiteral("%FILE"), QStringLiteral("--colour")});
    QTest::newRow("cycles 0") << QStringList({QStringLiteral("%FILE"), QStringLiteral("--cycles"), QStringLiteral("0")});
    QTest::newRow("interval not a number") << QStringList({QStringLiteral("%FILE"), QStringLiteral("--interval"), QStringLiteral("1s")});
    QTest::newRow("block past 125") << QStringList({QStringLiteral("%FILE"), QStringLiteral("--block"), QStringLiteral("126")});
    QTest::newRow("gap as a word") << QStringList({QStringLiteral("%FILE"), QStringLiteral("--gap"), QStringLiteral("some")});
    QTest::newRow("timeout below 10 ms") << QStringList({QStringLiteral("%FILE"), QStringLiteral("--timeout"), QStringLiteral("9")});
    QTest::newRow("retries past 10") << QStringList({QStringLiteral("%FILE"), QStringLiteral("--retries"), QStringLiteral("11")});
    QTest::newRow("on-change without csv") << QStringList({QStringLiteral("%FILE"), QStringLiteral("--on-change")});
    QTest::newRow("set without value") << QStringList({QStringLiteral("%FILE"), QStringLiteral("--set"), QStringLiteral("Mode")});
    QTest::newRow("description file missing") << QStringList({QStringLiteral("%DIR/none.yml")});
    QTest::newRow("description without protocol") << QStringList({QStringLiteral("%DIR/bad.yml")});
    QTest::newRow("restore file missing") << QStringList({QStringLiteral("%FILE"), QStringLiteral("--restore"), QStringLiteral("%DIR/none.yml")});
    QTest::newRow("TCP port past 65535") << QStringList({QStringLiteral("%FILE"), QStringLiteral("--tcp-port"), QStringLiteral("99999")});
    QTest::newRow("parity mark") << QStringList({QStringLiteral("%FILE"), QStringLiteral("--parity"), QStringLiteral("mark")});
    QTest::newRow("databits 9") << QStringList({QStringLiteral("%FILE"), QStringLiteral("--databits"), QStringLiteral("9")});
    QTest::newRow("stopbits 1.5") << QStringList({QStringLiteral("%FILE"), QStringLiteral("--stopbits"), QStringLiteral("1.5")});
    QTest::newRow("unknown word order") << QStringList({QStringLiteral("%FILE"), QStringLiteral("--word-order"), QStringLiteral("BACD")});
    QTest::newRow("restore file is a folder") << QStringList({QStringLiteral("%FILE"), QStringLiteral("--restore"), QStringLiteral("%DIR")});
}

void TestCliPolling::usageErrors()
{
    QFETCH(QStringList, arguments);
    const QString description = writeDescription();
    m_dir->write(QStringLiteral("bad.yml"), "device: X\nvariables: []\n");
    arguments.replaceInStrings(QStringLiteral("%FILE"), description);
    arguments.replaceInStrings(QStringLiteral("%DIR"), m_dir->path());
    CliRunner &cli = *m_cli;
    QVERIFY(cli.run(arguments));
    QCOMPARE(cli.exitCode(), 2);
    QVERIFY(!cli.err().isEmpty());
    QCOMPARE(cli.out(), QString());
    QVERIFY(m_server->requests().isEmpty());
}

void TestCliPolling::fileSizeLimits_data()
{
    QTest::addColumn<bool>("restoreFile");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QString unableToParse = QStringLiteral("(VelmorDeviceModel) Unable to parse configuration file\n");
    QTest::newRow("description at the limit") << false << fileLimitBytes << 0 << QString();
    QTest::newRow("description past the limit") << false << fileLimitBytes + 1 << 2 << unableToParse;
    QTest::newRow("restore file at the limit") << true << fileLimitBytes << 0 << QString();
    QTest::newRow("restore file past the limit") << true << fileLimitBytes + 1 << 2
                                                 << QStringLiteral("velmor-cli: cannot load %RESTORE: larger than 8 MiB\n");
}

void TestCliPolling::fileSizeLimits()
{
    QFETCH(bool, restoreFile);
    QFETCH(int, size);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const QByteArray description = modbusDescription(m_server->port(), threeVariables);
    const QByteArray restore = "variables:\n  - {name: Mode, addr: 2, value: 3}\n";
    const QString descriptionPath = m_dir->write(QStringLiteral("device.yml"), restoreFile ? description : paddedTo(description, size));
    const QString restorePath = m_dir->write(QStringLiteral("saved.yml"), restoreFile ? paddedTo(restore, size) : restore);
    CliRunner &cli = *m_cli;
    QVERIFY(cli.run({descriptionPath, QStringLiteral("--restore"), restorePath}));
    QCOMPARE(cli.exitCode(), exitCode);
    if (!message.isEmpty())
        QVERIFY2(cli.err().startsWith(message.replace(QStringLiteral("%RESTORE"), restorePath)), qPrintable(cli.err()));
}

void TestCliPolling::refusedConnectionExitsWithThree()
{
    const int port = closedTcpPort();
    const QString path = m_dir->write(QStringLiteral("refused.yml"), modbusDescription(port, threeVariables));
    CliRunner &cli = *m_cli;
    QVERIFY(cli.run({path}));
    QCOMPARE(cli.exitCode(), 3);
    QCOMPARE(cli.err(), QStringLiteral("Unable connect to 127.0.0.1:%1\n").arg(port));
    QCOMPARE(cli.out(), QString());
}

void TestCliPolling::missingSerialPortExitsWithThree()
{
    const QString path = m_dir->write(QStringLiteral("serial.yml"),
                                      "protocol: VelmorBUS RTU\nport: /dev/none\nbaudrate: 9600\nvariables:\n" + threeVariables);
    CliRunner &cli = *m_cli;
    QVERIFY(cli.run({path, QStringLiteral("--port"), m_dir->path() + QStringLiteral("/ttyNone")}));
    QCOMPARE(cli.exitCode(), 3);
    QVERIFY2(cli.err().startsWith(QStringLiteral("Unable open serial port %1/ttyNone (baudrate: 9600)").arg(m_dir->path())),
             qPrintable(cli.err()));
}

void TestCliPolling::framingReachesTheLine()
{
    // A pseudo-terminal keeps the stop bits of a framing, and only while the port is open;
    // tst_cliframing sees what the program asks of its port.
    PtyPeer peer;
    QVERIFY(peer.isOpen());
    const QString path = m_dir->write(QStringLiteral("rtu.yml"), "protocol: ModBUS RTU\nport: " + peer.slavePath().toUtf8()
                                                                     + "\nparity: even\nid: 1\nvariables:\n"
                                                                     + threeVariables);
    CliRunner &cli = *m_cli;
    cli.start({path, QStringLiteral("--stopbits"), QStringLiteral("2"), QStringLiteral("--watch"),
               QStringLiteral("--interval"), QStringLiteral("600000")});
    QTRY_VERIFY_WITH_TIMEOUT(!peer.received().isEmpty(), 10000);
    QCOMPARE(peer.stopBits(), 2);
}

void TestCliPolling::lostSerialLinkExitsWithOne_data()
{
    QTest::addColumn<bool>("afterFirstCycle");

    QTest::newRow("adapter pulled during the first cycle") << false;
    QTest::newRow("adapter pulled between cycles") << true;
}

void TestCliPolling::lostSerialLinkExitsWithOne()
{
    QFETCH(bool, afterFirstCycle);

    // Nobody answers on the line: each read times out, which also ends the first cycle.
    PtyPeer peer;
    QVERIFY(peer.isOpen());
    const QString path = m_dir->write(QStringLiteral("rtu.yml"), "protocol: ModBUS RTU\nport: " + peer.slavePath().toUtf8()
                                                                     + "\nbaudrate: 115200\nid: 1\nvariables:\n"
                                                                     + threeVariables);
    CliRunner &cli = *m_cli;
    cli.start({path, QStringLiteral("--watch"), QStringLiteral("--interval"), QStringLiteral("600000")});
    if (afterFirstCycle)
        QTRY_VERIFY_WITH_TIMEOUT(cli.out().contains(QStringLiteral("Cycle 1 at")), 30000);
    else
        QTRY_VERIFY_WITH_TIMEOUT(!peer.received().isEmpty(), 10000);
    peer.closeMaster();
    QVERIFY(cli.waitForExit(15000));
    QCOMPARE(cli.exitCode(), 1);
    QVERIFY2(cli.err().contains(QStringLiteral("Connection lost: ")), qPrintable(cli.err()));
}

void TestCliPolling::velmorbusTable()
{
    FakeVelmorController controller;
    QVERIFY(controller.peer().isOpen());
    // An int16 value lies in data bytes 2 and 3.
    controller.setHandler([](const FakeVelmorController::Request &request) {
        return FakeVelmorController::readAnswer(request, QByteArray::fromHex("00002a00"));
    });
    const QString path = m_dir->write(QStringLiteral("velmorbus.yml"),
                                      "protocol: VelmorBUS RTU\nport: " + controller.portName().toUtf8()
                                          + "\nid: 1\nvariables:\n  - name: Level\n    addr: 0x10\n    type: int16\n");
    CliRunner &cli = *m_cli;
    QVERIFY(cli.run({path}));
    QCOMPARE(cli.exitCode(), 0);
    QCOMPARE(tableRow(cli.out(), QStringLiteral("Level")),
             QStringList({QStringLiteral("0x10"), QStringLiteral("Level"), QStringLiteral("42")}));
}

void TestCliPolling::emptyDescriptionEndsAsAnyOther_data()
{
    QTest::addColumn<bool>("controllerThere");
    QTest::addColumn<QStringList>("options");
    // What stderr says once a run that goes on until stopped is under way; empty for a run that ends.
    QTest::addColumn<QString>("runningWhen");
    QTest::addColumn<int>("exitCode");
    const QString until;
    const QStringList watch{QStringLiteral("--watch"), QStringLiteral("--interval"), QStringLiteral("20")};
    const QStringList twoCycles{QStringLiteral("--cycles"), QStringLiteral("2"), QStringLiteral("--interval"), QStringLiteral("0")};
    const QStringList oneCycle{QStringLiteral("--cycles"), QStringLiteral("1")};
    const QStringList metrics{QStringLiteral("--metrics"), QStringLiteral("127.0.0.1:%PORT")};
    // Nobody listens at the broker's port: a broker that is away holds up nothing.
    const QStringList mqtt{QStringLiteral("--mqtt"), QStringLiteral("127.0.0.1:%PORT")};
    QTest::newRow("one cycle") << true << QStringList() << until << 0;
    QTest::newRow("two cycles") << true << twoCycles << until << 0;
    QTest::newRow("watch") << true << watch << QStringLiteral("Cycle 2 at") << 0;
    QTest::newRow("CSV") << true << QStringList{QStringLiteral("--csv"), QStringLiteral("%DIR/log.csv")} << until << 0;
    QTest::newRow("dump") << true << QStringList{QStringLiteral("--dump"), QStringLiteral("%DIR/saved.yml")} << until << 0;
    QTest::newRow("restore") << true << QStringList{QStringLiteral("--restore"), QStringLiteral("%DIR/nothing-saved.yml")}
                             << until << 0;
    QTest::newRow("set") << true << QStringList{QStringLiteral("--set"), QStringLiteral("Mode=1")} << until << 2;
    QTest::newRow("metrics") << true << oneCycle + metrics << until << 0;
    QTest::newRow("MQTT") << true << oneCycle + mqtt << until << 0;
    QTest::newRow("MQTT, watch") << true << watch + mqtt << QStringLiteral("Cycle 2 at") << 0;
    QTest::newRow("one cycle, no controller") << false << QStringList() << until << 3;
    QTest::newRow("two cycles, no controller") << false << twoCycles << until << 3;
    QTest::newRow("metrics, no controller") << false << oneCycle + metrics << until << 3;
    QTest::newRow("MQTT, watch, no controller") << false << watch + mqtt << QStringLiteral("link down") << 1;
}

void TestCliPolling::emptyDescriptionEndsAsAnyOther()
{
    QFETCH(bool, controllerThere);
    QFETCH(QStringList, options);
    QFETCH(QString, runningWhen);
    QFETCH(int, exitCode);
    const int port = controllerThere ? m_server->port() : closedTcpPort();
    const QString path = m_dir->write(QStringLiteral("empty.yml"),
                                      "protocol: ModBUS TCP\nhost: 127.0.0.1\nport: " + QByteArray::number(port) + "\nvariables: []\n");
    m_dir->write(QStringLiteral("nothing-saved.yml"), "variables: []\n");
    options.replaceInStrings(QStringLiteral("%DIR"), m_dir->path());
    options.replaceInStrings(QStringLiteral("%PORT"), QString::number(closedTcpPort()));
    CliRunner &cli = *m_cli;
    cli.start(QStringList{path} + options);
    if (!runningWhen.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(cli.out().contains(runningWhen) || cli.err().contains(runningWhen), 20000);
        cli.process().terminate();
    }
    QVERIFY(cli.waitForExit(20000));
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    QCOMPARE(cli.exitCode(), exitCode);
}

void TestCliPolling::wordOrderOverridesTheFile()
{
    // 0x12345678 with its lower word first.
    m_server->setHoldingRegisters(3, {0x5678, 0x1234});
    const QString path = writeDescription(threeVariables + "  - name: Count\n    addr: 3\n    type: int32\n");
    CliRunner &cli = *m_cli;
    QVERIFY(cli.run({path, QStringLiteral("--word-order"), QStringLiteral("CDAB")}));
    QCOMPARE(cli.exitCode(), 0);
    QCOMPARE(tableRow(cli.out(), QStringLiteral("Count")).value(2), QStringLiteral("305419896"));
}

void TestCliPolling::qtModbusLinesOnlyWhenVerbose_data()
{
    QTest::addColumn<bool>("verbose");
    QTest::newRow("plain") << false;
    QTest::newRow("verbose") << true;
}

void TestCliPolling::qtModbusLinesOnlyWhenVerbose()
{
    QFETCH(bool, verbose);
    // Every answer has a wrong CRC, which Qt's Modbus client logs as it drops it.
    PtyPeer peer;
    QVERIFY(peer.isOpen());
    connect(&peer, &PtyPeer::bytesReceived, &peer, [&peer] { peer.write(QByteArray::fromHex("0103020041ffff")); });
    const QString path = m_dir->write(QStringLiteral("rtu.yml"), "protocol: ModBUS RTU\nport: " + peer.slavePath().toUtf8()
                                                                     + "\nbaudrate: 115200\nid: 1\nvariables:\n"
                                                                     + threeVariables);
    QStringList arguments{path, QStringLiteral("--timeout"), QStringLiteral("100")};
    if (verbose)
        arguments.append(QStringLiteral("--verbose"));
    CliRunner &cli = *m_cli;
    QVERIFY(cli.run(arguments));
    QCOMPARE(cli.exitCode(), 1);
    QVERIFY2(cli.err().contains(QStringLiteral("Reading variable T1 failed: ")), qPrintable(cli.err()));
    QCOMPARE(cli.err().contains(QStringLiteral("qt.modbus: ")), verbose);
}

QTEST_MAIN(TestCliPolling)
#include "tst_clipolling.moc"
