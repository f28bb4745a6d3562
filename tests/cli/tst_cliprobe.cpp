#include "clirunner.h"
#include "descriptiondir.h"
#include "scantargets.h"
#include "simprocess.h"

#include <QRegularExpression>
#include <QtTest>

#include <memory>

namespace {

const QByteArray variables = ScanTargets::registersInEveryOrder;

// The cells of the first table row that starts with these cells.
QStringList tableRow(const QString &out, const QStringList &start)
{
    static const QRegularExpression gap(QStringLiteral("\\s{2,}"));
    for (const QString &line : out.split(QLatin1Char('\n'))) {
        const QStringList cells = line.split(gap, Qt::SkipEmptyParts);
        if (cells.mid(0, start.size()) == start)
            return cells;
    }
    return QStringList();
}

} // namespace

// velmor-cli --probe reading raw registers from velmor-sim over Modbus TCP.
class TestCliProbe : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void showsRegistersAndPairsInEveryOrder_data();
    void showsRegistersAndPairsInEveryOrder();
    void readsInputRegistersOverTheFilesLink();
    void failedReadEndsWithOne();
    void usageErrors_data();
    void usageErrors();
    void refusesFilesWithoutModbusRegisters_data();
    void refusesFilesWithoutModbusRegisters();
    void helpTellsOfTheProbe();

private:
    DescriptionDir m_dir;
    SimProcess m_sim;
    int m_port = 0;
    QString m_file;
};

void TestCliProbe::initTestCase()
{
    m_port = SimProcess::freePort();
    m_file = m_dir.write(QStringLiteral("device.yml"), "protocol: ModBUS TCP\nhost: 127.0.0.1\nport: "
                                                           + QByteArray::number(m_port) + "\nid: 1\n" + variables);
    QVERIFY(m_sim.start({QStringLiteral("--static"), m_file}));
}

void TestCliProbe::showsRegistersAndPairsInEveryOrder_data()
{
    QTest::addColumn<QString>("range");
    QTest::addColumn<QStringList>("registerRow");
    QTest::addColumn<QStringList>("pairRow");

    QTest::newRow("float32 3.14 ABCD")
        << "100:2" << QStringList({"101", "0xF5C3", "62915", "-2621", "1111 0101 1100 0011"})
        << QStringList({"100-101", "float32", "3.14", "-4.950203e+32", "197391.8", "-490.5645"});
    QTest::newRow("float32 3.14 CDAB")
        << "110:2" << QStringList({"110", "0xF5C3", "62915", "-2621", "1111 0101 1100 0011"})
        << QStringList({"110-111", "float32", "-4.950203e+32", "3.14", "-490.5645", "197391.8"});
    QTest::newRow("float32 3.14 BADC")
        << "0x78:2" << QStringList({"120", "0x4840", "18496", "18496", "0100 1000 0100 0000"})
        << QStringList({"120-121", "float32", "197391.8", "-490.5645", "3.14", "-4.950203e+32"});
    QTest::newRow("float32 3.14 DCBA")
        << "130:2" << QStringList({"131", "0x4840", "18496", "18496", "0100 1000 0100 0000"})
        << QStringList({"130-131", "float32", "-490.5645", "197391.8", "-4.950203e+32", "3.14"});
    QTest::newRow("int32 100000 ABCD")
        << "140:2" << QStringList({"140", "0x0001", "1", "1", "0000 0000 0000 0001"})
        << QStringList({"140-141", "int32", "100000", "-2036334591", "16818310", "-1601830656"});
}

void TestCliProbe::showsRegistersAndPairsInEveryOrder()
{
    QFETCH(QString, range);
    QFETCH(QStringList, registerRow);
    QFETCH(QStringList, pairRow);
    CliRunner cli;
    QVERIFY(cli.run({QStringLiteral("--probe"), range, QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                     QStringLiteral("--tcp-port"), QString::number(m_port)}));
    QCOMPARE(cli.err(), QString());
    QCOMPARE(cli.exitCode(), 0);
    QCOMPARE(tableRow(cli.out(), {QStringLiteral("Register")}),
             QStringList({"Register", "Hex", "Unsigned", "Signed", "Binary"}));
    QCOMPARE(tableRow(cli.out(), {QStringLiteral("Registers")}),
             QStringList({"Registers", "Type", "ABCD", "CDAB", "BADC", "DCBA"}));
    QCOMPARE(tableRow(cli.out(), registerRow.mid(0, 1)), registerRow);
    QCOMPARE(tableRow(cli.out(), pairRow.mid(0, 2)), pairRow);
}

void TestCliProbe::readsInputRegistersOverTheFilesLink()
{
    CliRunner cli;
    QVERIFY(cli.run({QStringLiteral("--probe"), QStringLiteral("10"), QStringLiteral("--input"), m_file}));
    QCOMPARE(cli.exitCode(), 0);
    QCOMPARE(tableRow(cli.out(), {QStringLiteral("10")}),
             QStringList({"10", "0xFFFE", "65534", "-2", "1111 1111 1111 1110"}));
    // One register makes no pair.
    QVERIFY(!cli.out().contains(QStringLiteral("ABCD")));
}

void TestCliProbe::failedReadEndsWithOne()
{
    CliRunner cli;
    QVERIFY(cli.run({QStringLiteral("--probe"), QStringLiteral("5000:2"), m_file}));
    QCOMPARE(cli.exitCode(), 1);
    QCOMPARE(cli.err(), QStringLiteral("velmor-cli: reading registers 5000 to 5001 failed: "
                                       "the device answered with exception 2 (illegal data address)\n"));
    QCOMPARE(cli.out(), QString());
}

void TestCliProbe::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");

    QTest::newRow("too many registers") << QStringList({"--probe", "0:126", "--host", "h"})
                                        << "velmor-cli: --probe reads 1 to 125 registers at once, not 126\n";
    QTest::newRow("not a register") << QStringList({"--probe", "x", "--host", "h"})
                                    << "velmor-cli: --probe needs ADDR or ADDR:COUNT, a register from 0 to 65535, not \"x\"\n";
    QTest::newRow("past the last register") << QStringList({"--probe", "65530:10", "--host", "h"})
                                            << "velmor-cli: --probe: registers 65530 to 65539 go past 65535\n";
    QTest::newRow("no link") << QStringList({"--probe", "0"})
                             << "velmor-cli: --probe needs a description file, or either --port or --host\n";
    QTest::newRow("serial and TCP at once") << QStringList({"--probe", "0", "--host", "h", "--port", "/dev/ttyS0"})
                                            << "velmor-cli: --probe needs a description file, or either --port or --host\n";
    QTest::newRow("a polling option") << QStringList({"--probe", "0", "--host", "h", "--watch"})
                                      << "velmor-cli: --watch does not go with --probe\n";
    QTest::newRow("input without probe") << QStringList({"--input", "device.yml"})
                                         << "velmor-cli: --input needs --probe or --scan\n";
    QTest::newRow("two files") << QStringList({"--probe", "0", "a.yml", "b.yml"})
                               << "velmor-cli: --probe reads one device; give at most one description file\n";
}

void TestCliProbe::usageErrors()
{
    QFETCH(QStringList, arguments);
    CliRunner cli;
    QVERIFY(cli.run(arguments));
    QCOMPARE(cli.exitCode(), 2);
    QTEST(cli.err(), "error");
}

void TestCliProbe::refusesFilesWithoutModbusRegisters_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("error");

    QTest::newRow("Velmorbus") << QByteArray("protocol: VelmorBUS RTU\nport: /dev/null\nid: 1\nvariables: []\n")
                               << ": --probe reads Modbus registers only, not VelmorBUS RTU\n";
    QTest::newRow("not YAML") << QByteArray("protocol: [") << " does not load\n";
}

void TestCliProbe::refusesFilesWithoutModbusRegisters()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, error);
    const QString file = m_dir.write(QStringLiteral("other.yml"), contents);
    CliRunner cli;
    QVERIFY(cli.run({QStringLiteral("--probe"), QStringLiteral("0"), file}));
    QCOMPARE(cli.exitCode(), 2);
    QVERIFY2(cli.err().endsWith(QStringLiteral("velmor-cli: ") + file + error), qPrintable(cli.err()));
}

void TestCliProbe::helpTellsOfTheProbe()
{
    CliRunner cli;
    QVERIFY(cli.run({QStringLiteral("--help")}));
    QCOMPARE(cli.exitCode(), 0);
    QVERIFY(cli.out().contains(QStringLiteral("--probe <ADDR[:COUNT]>")));
    QVERIFY(cli.out().contains(QStringLiteral("--input")));
}

QTEST_GUILESS_MAIN(TestCliProbe)

#include "tst_cliprobe.moc"
