#include "descriptiondir.h"
#include "ptypeer.h"
#include "referencecrc.h"
#include "simprocess.h"
#include "velmorbusframe.h"

#include <QFile>
#include <QHostAddress>
#include <QSerialPort>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

const QByteArray modbusTcpFile = R"(device: Тест
protocol: ModBUS TCP
variables:
  - {name: A, addr: 10, type: int16}
)";

const QByteArray velmorbusFile = R"(device: Тест
protocol: VelmorBUS RTU
id: 33
variables:
  - {name: A, addr: 0x10, type: int16}
)";

const QByteArray modbusRtuFile = R"(device: Тест
protocol: ModBUS RTU
id: 5
variables:
  - {name: A, addr: 0, type: int32, input: true, value: 0x12345678}
)";

constexpr int WaitMs = 10000;

QByteArray modbusRtuFrame(const QByteArray &addressAndPdu)
{
    const quint16 crc = referenceCrc16(addressAndPdu);
    return addressAndPdu + char(crc & 0xFF) + char(crc >> 8);
}

} // namespace

// How velmor-sim starts, refuses and stops.
class TestSimStartup : public QObject
{
    Q_OBJECT

private slots:
    void badFileIsRefused_data();
    void badFileIsRefused();
    void missingFileIsRefused();
    void badOptionsAreRefused_data();
    void badOptionsAreRefused();
    void busyTcpPortIsRefused();
    void busySerialPortIsRefused();
    void ptyLinkOverAFileIsRefused();
    void namedListenHostListensOnItsAddressOnly();
    void serialLineTakesTheFilesStopBits_data();
    void serialLineTakesTheFilesStopBits();
    void lostSerialPortIsServedAgain_data();
    void lostSerialPortIsServedAgain();
    void stopsCleanlyOnSignal_data();
    void stopsCleanlyOnSignal();
    void versionIsPrinted();
    void shippedDescriptionsAreServed_data();
    void shippedDescriptionsAreServed();

private:
    DescriptionDir m_dir;
};

void TestSimStartup::badFileIsRefused_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("message");

    QTest::newRow("not YAML") << QByteArray("protocol: [ModBUS TCP\n") << "is not valid YAML";
    QTest::newRow("top level is a sequence") << QByteArray("- protocol\n") << "its top level is not a mapping";
    QTest::newRow("empty file") << QByteArray() << "its top level is not a mapping";
    QTest::newRow("no protocol") << QByteArray("variables: []\n") << "the file names no \"protocol\"";
    QTest::newRow("VelmorBUS TCP") << QByteArray("protocol: VelmorBUS TCP\nvariables: []\n")
                                   << "protocol \"VelmorBUS TCP\" cannot be simulated";
    QTest::newRow("protocol in another case") << QByteArray("protocol: modbus tcp\nvariables: []\n")
                                              << "protocol \"modbus tcp\" cannot be simulated";
    QTest::newRow("no variables") << QByteArray("protocol: ModBUS TCP\n") << "the file has no \"variables\" sequence";
    QTest::newRow("variables as a mapping") << QByteArray("protocol: ModBUS TCP\nvariables: {a: 1}\n")
                                            << "the file has no \"variables\" sequence";
    QTest::newRow("variable without addr") << QByteArray("protocol: ModBUS TCP\nvariables:\n  - {name: A}\n")
                                           << "variable A has no integer \"addr\"";
    QTest::newRow("addr with trailing letters") << QByteArray("protocol: ModBUS TCP\nvariables:\n  - {name: A, addr: 12abc}\n")
                                                << "variable A has no integer \"addr\"";
    QTest::newRow("rw not a boolean") << QByteArray("protocol: ModBUS TCP\nvariables:\n  - {addr: 1, rw: maybe}\n")
                                      << "variable #0: \"rw\" is not a boolean";
    QTest::newRow("wordorder in another case")
        << QByteArray("protocol: ModBUS TCP\nwordorder: abcd\nvariables: []\n")
        << "\"wordorder\" is \"abcd\", not one of ABCD, CDAB, BADC, DCBA, legacy";
    QTest::newRow("wordorder of a variable unknown")
        << QByteArray("protocol: ModBUS TCP\nvariables:\n  - {name: A, addr: 1, wordorder: BigEndian}\n")
        << "variable A: \"wordorder\" is \"BigEndian\", not one of";
    QTest::newRow("parity in another case") << QByteArray("protocol: ModBUS RTU\nparity: Even\nvariables: []\n")
                                            << "\"parity\" is \"Even\", not one of none, even, odd";
    QTest::newRow("databits 9") << QByteArray("protocol: VelmorBUS RTU\ndatabits: 9\nvariables: []\n")
                                << "\"databits\" is \"9\", not one of 7, 8";
    QTest::newRow("stopbits 1.5") << QByteArray("protocol: ModBUS RTU\nstopbits: 1.5\nvariables: []\n")
                                  << "\"stopbits\" is \"1.5\", not one of 1, 2";
    QTest::newRow("value not a number") << QByteArray("protocol: ModBUS TCP\nvariables:\n  - {name: A, addr: 1, value: abc}\n")
                                        << "variable A has a \"value\" that is not a number";
    QTest::newRow("overlapping registers")
        << QByteArray("protocol: ModBUS TCP\nvariables:\n  - {name: A, addr: 10}\n  - {name: B, addr: 11, type: int16}\n")
        << "variables A and B overlap at register 11";
}

void TestSimStartup::badFileIsRefused()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, message);

    SimProcess sim;
    const QString file = m_dir.write(QStringLiteral("bad.yml"), contents);
    QVERIFY(sim.run({ "--listen", QStringLiteral("127.0.0.1:%1").arg(SimProcess::freePort()), file }));
    QCOMPARE(sim.exitCode(), 1);
    const QString errors = QString::fromUtf8(sim.errorOutput());
    QVERIFY2(errors.startsWith(QStringLiteral("velmor-sim: ") + file + QStringLiteral(": ")), qPrintable(errors));
    QVERIFY2(errors.contains(message), qPrintable(errors));
    QVERIFY(!sim.output().contains("listening on"));
}

void TestSimStartup::missingFileIsRefused()
{
    SimProcess sim;
    QVERIFY(sim.run({ m_dir.path() + QStringLiteral("/absent.yml") }));
    QCOMPARE(sim.exitCode(), 1);
    QVERIFY(sim.errorOutput().contains("cannot open"));
}

void TestSimStartup::badOptionsAreRefused_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("message");

    QTest::newRow("fault rate above 1") << modbusTcpFile << QStringList { "--fault-rate", "2", "--faults", "exception" }
                                        << "--fault-rate takes a number from 0 to 1";
    QTest::newRow("unknown fault") << modbusTcpFile << QStringList { "--faults", "gremlins" }
                                   << "unknown fault \"gremlins\"";
    QTest::newRow("fault rate without faults") << modbusTcpFile << QStringList { "--fault-rate", "0.5" }
                                               << "--fault-rate needs --faults";
    QTest::newRow("Velmorbus fault on Modbus") << modbusTcpFile << QStringList { "--faults", "bad-crc" }
                                               << "fault bad-crc does not apply to ModBUS TCP";
    QTest::newRow("Modbus fault on Velmorbus") << velmorbusFile << QStringList { "--faults", "exception" }
                                               << "fault exception does not apply to VelmorBUS RTU";
    QTest::newRow("listen without a port") << modbusTcpFile << QStringList { "--listen", "127.0.0.1" }
                                           << "--listen takes HOST:PORT";
    QTest::newRow("listen host that does not resolve") << modbusTcpFile
                                                       << QStringList { "--listen", "nosuchhost.invalid:1502" }
                                                       << "velmor-sim: cannot serve nosuchhost.invalid:1502: ";
    QTest::newRow("port and pty together") << velmorbusFile << QStringList { "--port", "/dev/null", "--pty", "x" }
                                           << "--port and --pty exclude each other";
    QTest::newRow("negative delay") << modbusTcpFile << QStringList { "--delay", "-5" }
                                    << "--delay takes a number of milliseconds";
    QTest::newRow("unused registers neither exception nor zero") << modbusTcpFile
        << QStringList { "--unused-registers", "random" } << "--unused-registers takes \"exception\" or \"zero\"";
}

void TestSimStartup::badOptionsAreRefused()
{
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, options);
    QFETCH(QString, message);

    SimProcess sim;
    const QString listen = QStringLiteral("127.0.0.1:%1").arg(SimProcess::freePort());
    const QStringList listenOption = options.contains("--listen") ? QStringList() : QStringList { "--listen", listen };
    QVERIFY(sim.run(options + listenOption + QStringList { m_dir.write(QStringLiteral("device.yml"), contents) }));
    QCOMPARE(sim.exitCode(), 1);
    const QString errors = QString::fromUtf8(sim.errorOutput());
    QVERIFY2(errors.contains(message), qPrintable(errors));
}

void TestSimStartup::busyTcpPortIsRefused()
{
    QTcpServer holder;
    QVERIFY(holder.listen(QHostAddress::LocalHost, 0));
    SimProcess sim;
    QVERIFY(sim.run({ "--listen", QStringLiteral("127.0.0.1:%1").arg(holder.serverPort()),
                      m_dir.write(QStringLiteral("device.yml"), modbusTcpFile) }));
    QCOMPARE(sim.exitCode(), 1);
    const QString errors = QString::fromUtf8(sim.errorOutput());
    QVERIFY2(errors.startsWith(QStringLiteral("velmor-sim: cannot serve 127.0.0.1:%1: ").arg(holder.serverPort())),
             qPrintable(errors));
}

void TestSimStartup::busySerialPortIsRefused()
{
    PtyPeer peer;
    QVERIFY(peer.isOpen());
    QSerialPort holder(peer.slavePath());
    QVERIFY(holder.open(QIODevice::ReadWrite));
    SimProcess sim;
    QVERIFY(sim.run({ "--port", peer.slavePath(), m_dir.write(QStringLiteral("device.yml"), velmorbusFile) }));
    QCOMPARE(sim.exitCode(), 1);
    const QString errors = QString::fromUtf8(sim.errorOutput());
    QVERIFY2(errors.startsWith(QStringLiteral("velmor-sim: cannot open serial port %1: ").arg(peer.slavePath())),
             qPrintable(errors));
}

void TestSimStartup::ptyLinkOverAFileIsRefused()
{
    const QString occupied = m_dir.write(QStringLiteral("occupied"), "keep me");
    SimProcess sim;
    QVERIFY(sim.run({ "--pty", occupied, m_dir.write(QStringLiteral("device.yml"), velmorbusFile) }));
    QCOMPARE(sim.exitCode(), 1);
    QVERIFY(sim.errorOutput().contains("exists and is not a symbolic link"));
    QFile file(occupied);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep me"));
}

void TestSimStartup::namedListenHostListensOnItsAddressOnly()
{
    const int port = SimProcess::freePort();
    SimProcess sim;
    QVERIFY(sim.start({ "--listen", QStringLiteral("localhost:%1").arg(port),
                        m_dir.write(QStringLiteral("device.yml"), modbusTcpFile) }));
    QVERIFY(sim.output().contains(QStringLiteral("\nlistening on localhost:%1 (127.0.0.1)\n").arg(port).toUtf8()));

    QTcpSocket loopback;
    loopback.connectToHost(QHostAddress::LocalHost, quint16(port));
    QVERIFY(loopback.waitForConnected(WaitMs));
    // Another address of this computer: open only when every interface listens.
    QTcpSocket elsewhere;
    elsewhere.connectToHost(QHostAddress(QStringLiteral("127.0.0.2")), quint16(port));
    QVERIFY(!elsewhere.waitForConnected(WaitMs));
    QCOMPARE(elsewhere.error(), QAbstractSocket::ConnectionRefusedError);
}

void TestSimStartup::serialLineTakesTheFilesStopBits_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<int>("stopBits");

    QTest::newRow("VelmorBUS RTU without keys") << velmorbusFile << 1;
    QTest::newRow("VelmorBUS RTU 8E2") << QByteArray("parity: even\nstopbits: 2\n" + velmorbusFile) << 2;
    QTest::newRow("ModBUS RTU without keys") << modbusRtuFile << 1;
    QTest::newRow("ModBUS RTU 7O2") << QByteArray("parity: odd\ndatabits: 7\nstopbits: 2\n" + modbusRtuFile) << 2;
}

void TestSimStartup::serialLineTakesTheFilesStopBits()
{
    QFETCH(QByteArray, contents);
    QFETCH(int, stopBits);

    // A pseudo-terminal keeps only the stop bits of a framing; tst_simframing sees the rest.
    PtyPeer peer;
    QVERIFY(peer.isOpen());
    SimProcess sim;
    QVERIFY(sim.start({ "--port", peer.slavePath(), m_dir.write(QStringLiteral("device.yml"), contents) }));
    QCOMPARE(peer.stopBits(), stopBits);
}

void TestSimStartup::lostSerialPortIsServedAgain_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer");

    QTest::newRow("VelmorBUS RTU") << velmorbusFile << VelmorbusFrame::build(33, QByteArray::fromHex("0210000400"))
                                   << VelmorbusFrame::build(33, QByteArray::fromHex("121000040000000000"));
    QTest::newRow("ModBUS RTU") << modbusRtuFile << modbusRtuFrame(QByteArray::fromHex("050400000002"))
                                << modbusRtuFrame(QByteArray::fromHex("05040412345678"));
}

void TestSimStartup::lostSerialPortIsServedAgain()
{
    QFETCH(QByteArray, contents);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);

    // The simulator serves a link, as to an adapter that may be plugged in anew.
    PtyPeer first;
    const QString link = m_dir.path() + QStringLiteral("/adapter");
    QFile::remove(link);
    QVERIFY(QFile::link(first.slavePath(), link));
    SimProcess sim;
    QVERIFY(sim.start({ "--static", "--port", link, m_dir.write(QStringLiteral("device.yml"), contents) }));

    first.closeMaster();
    QTRY_VERIFY2_WITH_TIMEOUT(sim.output().contains(" -- " + link.toUtf8() + " lost: "), sim.output().constData(), WaitMs);
    PtyPeer second;
    QVERIFY(QFile::remove(link) && QFile::link(second.slavePath(), link));
    QTRY_VERIFY_WITH_TIMEOUT(sim.output().contains(" -- " + link.toUtf8() + " open again\n"), WaitMs);

    second.write(request);
    QTRY_COMPARE_WITH_TIMEOUT(second.received(), answer, WaitMs);
}

void TestSimStartup::stopsCleanlyOnSignal_data()
{
    QTest::addColumn<int>("signalNumber");

    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGTERM") << int(SIGTERM);
}

void TestSimStartup::stopsCleanlyOnSignal()
{
    QFETCH(int, signalNumber);

    SimProcess sim;
    QVERIFY(sim.start({ "--listen", QStringLiteral("127.0.0.1:%1").arg(SimProcess::freePort()),
                        m_dir.write(QStringLiteral("device.yml"), modbusTcpFile) }));
    QVERIFY(sim.stop(signalNumber));
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(sim.output().endsWith(QByteArray("stopped by signal ") + QByteArray::number(signalNumber) + '\n'));
}

void TestSimStartup::versionIsPrinted()
{
    SimProcess sim;
    QVERIFY(sim.run({ "--version" }));
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(sim.output().startsWith("velmor-sim "));
}

void TestSimStartup::shippedDescriptionsAreServed_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QStringList>("linkOptions");
    QTest::addColumn<QByteArray>("readyLine");

    const int port = SimProcess::freePort();
    const QString link = m_dir.path() + QStringLiteral("/demo-pty");
    QTest::newRow("default.yml over Modbus TCP")
        << "default.yml" << QStringList { "--listen", QStringLiteral("127.0.0.1:%1").arg(port) }
        << QByteArray("\nlistening on 127.0.0.1:") + QByteArray::number(port) + '\n';
    QTest::newRow("velmorbus-demo.yml over a pseudo-terminal")
        << "velmorbus-demo.yml" << QStringList { "--pty", link } << QByteArray("\nserving ") + link.toUtf8() + ' ';
}

void TestSimStartup::shippedDescriptionsAreServed()
{
    QFETCH(QString, fileName);
    QFETCH(QStringList, linkOptions);
    QFETCH(QByteArray, readyLine);

    SimProcess sim;
    QVERIFY(sim.start(linkOptions + QStringList { QStringLiteral(VELMOR_TAGS_DIR "/") + fileName }));
    QVERIFY2(sim.output().contains(readyLine), sim.output().constData());
    QVERIFY(sim.errorOutput().isEmpty());
}

QTEST_GUILESS_MAIN(TestSimStartup)
#include "tst_simstartup.moc"
