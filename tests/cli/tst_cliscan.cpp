#include "clirunner.h"
#include "descriptiondir.h"
#include "ptypeer.h"
#include "scantargets.h"
#include "simprocess.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QByteArray modbusRtuDevice = ScanTargets::modbusRtu(12);
const QByteArray velmorbusDevice = ScanTargets::velmorbus(12);
const QByteArray modbusTcpDevice = ScanTargets::modbusTcp(3);

} // namespace

// velmor-cli --scan against velmor-sim and a silent line: what it prints, the description
// it writes, and its exit codes.
class TestCliScan : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void findsTheControllerAndDescribesIt_data();
    void findsTheControllerAndDescribesIt();
    void silentLineExitsOne();
    void unwritableDescriptionExitsOne();
    void usageErrorsExitTwo_data();
    void usageErrorsExitTwo();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<DescriptionDir> m_descriptions;
    std::unique_ptr<SimProcess> m_sim;
};

void TestCliScan::init()
{
    m_dir.reset(new QTemporaryDir);
    m_descriptions.reset(new DescriptionDir);
    m_sim.reset(new SimProcess);
}

void TestCliScan::cleanup()
{
    m_sim.reset();
    m_descriptions.reset();
    m_dir.reset();
}

void TestCliScan::findsTheControllerAndDescribesIt_data()
{
    QTest::addColumn<QByteArray>("device");
    QTest::addColumn<QStringList>("scanArguments");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QByteArray>("link");

    // A pseudo-terminal carries every baud rate and parity: the device answers on the first tried.
    const QStringList serial{"--baudrates", "19200", "--parities", "even", "--first-id", "10", "--last-id", "14"};
    QTest::newRow("Modbus RTU on a pseudo-terminal")
        << modbusRtuDevice << serial << QStringLiteral("Modbus RTU, address 12, 19200 8E1: register 0 = 0x0041")
        << QByteArray("protocol: ModBUS RTU\nport: %1\nbaudrate: 19200\nparity: even\ndatabits: 8\nstopbits: 1\nid: 12\n");
    QTest::newRow("Velmorbus on a pseudo-terminal")
        << velmorbusDevice << serial + QStringList{"--protocols", "velmorbus", "--scan-address", "0x10"}
        << QStringLiteral("Velmorbus RTU, address 12, 19200 8E1: data address 16 = 0x0000 0x0015")
        << QByteArray("protocol: VelmorBUS RTU\nport: %1\nbaudrate: 19200\nparity: even\ndatabits: 8\nstopbits: 1\nid: 12\n");
    QTest::newRow("Modbus TCP unit id") << modbusTcpDevice << QStringList{"--last-id", "5"}
                                        << QStringLiteral("Modbus TCP, unit id 3: register 0 = 0x0041")
                                        << QByteArray("protocol: ModBUS TCP\nhost: 127.0.0.1\nport: %1\nid: 3\n");
}

void TestCliScan::findsTheControllerAndDescribesIt()
{
    QFETCH(QByteArray, device);
    QFETCH(QStringList, scanArguments);
    QFETCH(QString, summary);
    QFETCH(QByteArray, link);

    const QString descriptionPath = m_descriptions->write(QStringLiteral("device.yml"), device);
    const bool tcp = device == modbusTcpDevice;
    QString where;
    if (tcp) {
        where = QString::number(SimProcess::freePort());
        QVERIFY(m_sim->start({"--static", "--listen", "127.0.0.1:" + where, descriptionPath}));
        scanArguments << "--host" << "127.0.0.1" << "--tcp-port" << where;
    } else {
        where = m_dir->filePath(QStringLiteral("line"));
        QVERIFY(m_sim->start({"--static", "--pty", where, descriptionPath}));
        scanArguments << "--port" << where;
    }
    const QString skeleton = m_dir->filePath(QStringLiteral("found.yml"));

    CliRunner scan;
    QVERIFY(scan.run(QStringList{"--scan", "--write-description", skeleton} + scanArguments));
    QCOMPARE(scan.exitCode(), 0);
    QCOMPARE(scan.out(), summary + QLatin1Char('\n'));

    QFile file(skeleton);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY2(text.contains(QString::fromUtf8(link).arg(where).toUtf8()), text.constData());
    QVERIFY(text.contains("variables: []"));

    CliRunner check;
    QVERIFY(check.run({"--check", skeleton}));
    QCOMPARE(check.out(), QString());
    QCOMPARE(check.exitCode(), 0);
}

void TestCliScan::silentLineExitsOne()
{
    PtyPeer silentLine;
    QVERIFY(silentLine.isOpen());
    const QString skeleton = m_dir->filePath(QStringLiteral("found.yml"));

    CliRunner scan;
    QVERIFY(scan.run({"--scan", "--port", silentLine.slavePath(), "--baudrates", "9600", "--parities", "none",
                      "--last-id", "4", "--write-description", skeleton}));
    QCOMPARE(scan.exitCode(), 1);
    QCOMPARE(scan.out(), QString());
    QCOMPARE(scan.err(), QStringLiteral("velmor-cli: no device answered\n"));
    QVERIFY(!QFile::exists(skeleton));
}

void TestCliScan::unwritableDescriptionExitsOne()
{
    const QString link = m_dir->filePath(QStringLiteral("line"));
    QVERIFY(m_sim->start({"--static", "--pty", link, m_descriptions->write(QStringLiteral("device.yml"), modbusRtuDevice)}));

    CliRunner scan;
    QVERIFY(scan.run({"--scan", "--port", link, "--baudrates", "9600", "--parities", "none", "--first-id", "12",
                      "--last-id", "12", "--write-description", m_dir->filePath(QStringLiteral("no-folder/found.yml"))}));
    QCOMPARE(scan.exitCode(), 1);
    QVERIFY2(scan.err().startsWith(QStringLiteral("velmor-cli: cannot write ")), qPrintable(scan.err()));
}

void TestCliScan::usageErrorsExitTwo_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("reason");

    QTest::newRow("no line") << QStringList{"--scan"} << QStringLiteral("--scan needs --port or --host");
    QTest::newRow("a description file") << QStringList{"--scan", "--port", "/dev/null", "tags/default.yml"}
                                        << QStringLiteral("--scan takes no description file");
    QTest::newRow("a poll's option") << QStringList{"--scan", "--port", "/dev/null", "--watch"}
                                     << QStringLiteral("--watch does not apply to --scan");
    QTest::newRow("a scan's option without --scan") << QStringList{"--first", "tags/default.yml"}
                                                    << QStringLiteral("--first needs --scan");
    QTest::newRow("baud rates over TCP") << QStringList{"--scan", "--host", "127.0.0.1", "--baudrates", "9600"}
                                         << QStringLiteral("--baudrates does not apply to a scan over TCP");
    QTest::newRow("unknown parity") << QStringList{"--scan", "--port", "/dev/null", "--parities", "none,mark"}
                                    << QStringLiteral("--parities needs a comma list of none, even, odd, not \"none,mark\"");
    QTest::newRow("unknown protocol") << QStringList{"--scan", "--port", "/dev/null", "--protocols", "profibus"}
                                      << QStringLiteral("--protocols needs a comma list of modbus, velmorbus, not \"profibus\"");
    QTest::newRow("baud rate not a number") << QStringList{"--scan", "--port", "/dev/null", "--baudrates", "9600,fast"}
                                            << QStringLiteral("--baudrates needs a comma list of whole numbers of at least 1, not \"9600,fast\"");
    QTest::newRow("first id above last id") << QStringList{"--scan", "--port", "/dev/null", "--first-id", "9", "--last-id", "3"}
                                            << QStringLiteral("--first-id 9 is above --last-id 3");
    QTest::newRow("timeout below 10 ms") << QStringList{"--scan", "--port", "/dev/null", "--scan-timeout", "5"}
                                         << QStringLiteral("--scan-timeout needs a whole number from 10 to 60000, not \"5\"");
}

void TestCliScan::usageErrorsExitTwo()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, reason);

    CliRunner scan;
    QVERIFY(scan.run(arguments));
    QCOMPARE(scan.exitCode(), 2);
    QCOMPARE(scan.err(), QStringLiteral("velmor-cli: %1\n").arg(reason));
}

QTEST_GUILESS_MAIN(TestCliScan)
#include "tst_cliscan.moc"
