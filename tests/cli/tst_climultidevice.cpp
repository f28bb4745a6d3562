#include "clirunner.h"
#include "controllerfleet.h"

#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {

// Generous: the controllers and the program share a loaded 2-core machine.
constexpr int WaitMs = 30000;

QStringList fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringList();
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The lines "Cycle N of DEVICE at ..." of one device, in order.
QStringList cycleLines(const QString &out, const QString &device)
{
    return out.split(QLatin1Char('\n')).filter(QRegularExpression(QStringLiteral("^Cycle \\d+ of %1 at ").arg(device)));
}

// Takes connections and never answers: every request times out.
class SilentServer : public QTcpServer
{
public:
    SilentServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection())
                socket->setParent(this);
        });
    }
};

} // namespace

// velmor-cli polling several controllers played by velmor-sim at once.
class TestCliMultiDevice : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void tableOfEachDeviceIsNamed();
    void csvFilePerDevice();
    void usageErrors_data();
    void usageErrors();
    void unreachableControllersHoldUpNoOther();

private:
    std::unique_ptr<ControllerFleet> m_fleet;
    std::unique_ptr<CliRunner> m_cli;
};

void TestCliMultiDevice::init()
{
    m_fleet = std::make_unique<ControllerFleet>();
    m_cli = std::make_unique<CliRunner>();
}

void TestCliMultiDevice::cleanup()
{
    if (QTest::currentTestFailed())
        qInfo().noquote() << "velmor-cli stdout:\n" << m_cli->out() << "\nvelmor-cli stderr:\n" << m_cli->err();
    m_cli.reset();
    m_fleet.reset();
}

void TestCliMultiDevice::tableOfEachDeviceIsNamed()
{
    const QString alpha = m_fleet->add(QStringLiteral("alpha"));
    const QString beta = m_fleet->add(QStringLiteral("beta"));
    QVERIFY(!alpha.isEmpty() && !beta.isEmpty());
    QVERIFY(m_cli->run({alpha, beta, QStringLiteral("--trace")}));
    QCOMPARE(m_cli->exitCode(), 0);
    for (const QString &device : {QStringLiteral("alpha"), QStringLiteral("beta")}) {
        const QString table = m_cli->out().section(device + QStringLiteral(":\n"), 1).section(QStringLiteral("\n\n"), 0, 0);
        QVERIFY2(table.contains(QRegularExpression(QStringLiteral("\\n\\s*0\\s+T1\\s+65\\n"))), qPrintable(table));
    }
    // Three reads and their answers each.
    const QStringList frames = m_cli->err().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(frames.filter(QRegularExpression(QStringLiteral("^alpha: [-0-9]+ [0-9:.]+ [<>] "))).size(), 6);
    QCOMPARE(frames.filter(QRegularExpression(QStringLiteral("^beta: [-0-9]+ [0-9:.]+ [<>] "))).size(), 6);
    QCOMPARE(frames.size(), 12);
}

void TestCliMultiDevice::csvFilePerDevice()
{
    const QString alpha = m_fleet->add(QStringLiteral("alpha"));
    const QString beta = m_fleet->add(QStringLiteral("beta"));
    QVERIFY(!alpha.isEmpty() && !beta.isEmpty());
    QVERIFY(m_cli->run({alpha, beta, QStringLiteral("--cycles"), QStringLiteral("2"), QStringLiteral("--interval"),
                        QStringLiteral("0"), QStringLiteral("--csv"), m_fleet->path() + QStringLiteral("/log-%d.csv")}));
    QCOMPARE(m_cli->exitCode(), 0);
    for (const QString &device : {QStringLiteral("alpha"), QStringLiteral("beta")}) {
        QCOMPARE(cycleLines(m_cli->out(), device).size(), 2);
        const QStringList lines = fileLines(m_fleet->path() + QStringLiteral("/log-%1.csv").arg(device));
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines.first(), QStringLiteral("time,device,cycle_ms,T1,Hyst,Setpoint"));
        const QRegularExpression row(QStringLiteral("^[-0-9T:.+Z]+,%1,\\d+,65,3,60$").arg(device));
        QVERIFY2(row.match(lines.at(1)).hasMatch(), qPrintable(lines.at(1)));
    }
}

void TestCliMultiDevice::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    const QString alpha = QStringLiteral("%DIR/alpha.yml");
    const QString beta = QStringLiteral("%DIR/beta.yml");
    QTest::newRow("CSV name without %d") << QStringList{alpha, beta, QStringLiteral("--csv"), QStringLiteral("log.csv")}
                                         << QStringLiteral("with several description files --csv needs a name with %d");
    QTest::newRow("a write to which one") << QStringList{alpha, beta, QStringLiteral("--set"), QStringLiteral("Hyst=4")}
                                          << QStringLiteral("--set applies to one controller");
    QTest::newRow("a link setting for which one") << QStringList{alpha, beta, QStringLiteral("--tcp-port"), QStringLiteral("502")}
                                                  << QStringLiteral("--tcp-port applies to one controller");
    QTest::newRow("two files of one name") << QStringList{alpha, QStringLiteral("%DIR/other/alpha.yml")}
                                           << QStringLiteral("would both be named alpha");
    QTest::newRow("two names of one topic") << QStringList{QStringLiteral("%DIR/alp_a.yml"), QStringLiteral("%DIR/alp#a.yml"),
                                                           QStringLiteral("--watch"), QStringLiteral("--mqtt"),
                                                           QStringLiteral("127.0.0.1")}
                                            << QStringLiteral("would both be named alp_a");
    QTest::newRow("metrics of a single cycle") << QStringList{alpha, QStringLiteral("--metrics"), QStringLiteral("127.0.0.1:9")}
                                               << QStringLiteral("--metrics and --mqtt need --watch or --cycles");
    QTest::newRow("metrics without a port") << QStringList{alpha, QStringLiteral("--watch"), QStringLiteral("--metrics"),
                                                           QStringLiteral("127.0.0.1")}
                                            << QStringLiteral("--metrics needs HOST:PORT");
    QTest::newRow("broker user without a broker") << QStringList{alpha, QStringLiteral("--mqtt-user"), QStringLiteral("u")}
                                                  << QStringLiteral("--mqtt-user needs --mqtt");
    QTest::newRow("password without a user") << QStringList{alpha, QStringLiteral("--watch"), QStringLiteral("--mqtt"),
                                                            QStringLiteral("127.0.0.1"), QStringLiteral("--mqtt-password-file"),
                                                            alpha}
                                             << QStringLiteral("--mqtt-password-file needs --mqtt-user");
    QTest::newRow("prefix with a wildcard") << QStringList{alpha, QStringLiteral("--watch"), QStringLiteral("--mqtt"),
                                                           QStringLiteral("127.0.0.1"), QStringLiteral("--mqtt-prefix"),
                                                           QStringLiteral("site/+")}
                                            << QStringLiteral("--mqtt-prefix cannot");
    QTest::newRow("password file missing") << QStringList{alpha, QStringLiteral("--watch"), QStringLiteral("--mqtt"),
                                                          QStringLiteral("127.0.0.1"), QStringLiteral("--mqtt-user"),
                                                          QStringLiteral("u"), QStringLiteral("--mqtt-password-file"),
                                                          QStringLiteral("%DIR/none")}
                                           << QStringLiteral("cannot read the MQTT password file");
    QTest::newRow("CA file missing") << QStringList{alpha, QStringLiteral("--watch"), QStringLiteral("--mqtt"),
                                                    QStringLiteral("127.0.0.1"), QStringLiteral("--mqtt-tls"),
                                                    QStringLiteral("%DIR/none")}
                                     << QStringLiteral("cannot read the CA file");
}

void TestCliMultiDevice::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    // Nobody listens: a run that went ahead would fail with 3, not 2.
    m_fleet->addRefusing(QStringLiteral("alpha"));
    m_fleet->addRefusing(QStringLiteral("beta"));
    m_fleet->addRefusing(QStringLiteral("alp#a"));
    m_fleet->addRefusing(QStringLiteral("alp_a"));
    QVERIFY(QDir(m_fleet->path()).mkdir(QStringLiteral("other")));
    m_fleet->addRefusing(QStringLiteral("other/alpha"));
    arguments.replaceInStrings(QStringLiteral("%DIR"), m_fleet->path());
    QVERIFY(m_cli->run(arguments));
    QCOMPARE(m_cli->exitCode(), 2);
    QVERIFY2(m_cli->err().contains(message), qPrintable(m_cli->err()));
    QCOMPARE(m_cli->out(), QString());
}

void TestCliMultiDevice::unreachableControllersHoldUpNoOther()
{
    // Each read of the silent controller waits out the request timeout (1 s); the
    // refused one is connected to again and again.
    SilentServer silentServer;
    QVERIFY(silentServer.listen(QHostAddress::LocalHost, 0));
    const QString silent = m_fleet->describe(QStringLiteral("silent"), silentServer.serverPort());
    const QString refused = m_fleet->addRefusing(QStringLiteral("refused"));
    const QString alpha = m_fleet->add(QStringLiteral("alpha"));
    const QString beta = m_fleet->add(QStringLiteral("beta"));
    QVERIFY(!alpha.isEmpty() && !beta.isEmpty());
    m_cli->start({silent, refused, alpha, beta, QStringLiteral("--watch"), QStringLiteral("--interval"),
                  QStringLiteral("50"), QStringLiteral("--query-delay"), QStringLiteral("10")});
    QTRY_VERIFY_WITH_TIMEOUT(!cycleLines(m_cli->out(), QStringLiteral("silent")).isEmpty(), WaitMs);

    // While the silent controller took its first cycle of three timeouts, the others
    // went through many: a cycle of theirs takes some 100 ms.
    const QString untilSilentCycle = m_cli->out().section(QStringLiteral("Cycle 1 of silent"), 0, 0);
    for (const QString &device : {QStringLiteral("alpha"), QStringLiteral("beta")}) {
        const QStringList cycles = cycleLines(untilSilentCycle, device);
        QVERIFY2(cycles.size() >= 8, qPrintable(device + QStringLiteral(": %1 cycles").arg(cycles.size())));
        for (const QString &cycle : cycles) {
            const int cycleMs = cycle.section(QLatin1Char(' '), -2, -2).toInt();
            QVERIFY2(cycleMs < 800, qPrintable(cycle));
        }
    }
    QVERIFY(m_cli->err().contains(QStringLiteral("velmor-cli: refused: link down")));
    QCOMPARE(m_cli->process().state(), QProcess::Running);
}

QTEST_MAIN(TestCliMultiDevice)
#include "tst_climultidevice.moc"
