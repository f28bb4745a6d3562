#include "clirunner.h"
#include "controllerfleet.h"
#include "httpget.h"
#include "prometheusserver.h"
#include "simprocess.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {

// Generous: the controllers, the program and Prometheus share a loaded 2-core machine.
constexpr int WaitMs = 30000;

// Polled but not served: every read of it fails.
const QByteArray ghostVariable = "  - {name: Ghost, addr: 500, type: int16}\n";

const QSet<QString> velmorFamilies{
    QStringLiteral("velmor_value"), QStringLiteral("velmor_read_failures_total"),
    QStringLiteral("velmor_write_failures_total"), QStringLiteral("velmor_cycles_total"),
    QStringLiteral("velmor_cycle_duration_seconds"), QStringLiteral("velmor_connected"),
    QStringLiteral("velmor_last_cycle_timestamp_seconds")};

// One sample of the text format: name{label="value",...} number
struct Sample
{
    QString name;
    QMap<QString, QString> labels;
    double value;
};

QVector<Sample> samples(const QByteArray &exposition)
{
    static const QRegularExpression line(QStringLiteral("^([a-z_]+)(?:\\{(.*)\\})? (\\S+)$"));
    static const QRegularExpression label(QStringLiteral("([a-z_]+)=\"([^\"]*)\""));
    QVector<Sample> found;
    for (const QString &text : QString::fromUtf8(exposition).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = line.match(text);
        if (!match.hasMatch())
            continue;
        Sample sample{match.captured(1), {}, match.captured(3).toDouble()};
        auto labels = label.globalMatch(match.captured(2));
        while (labels.hasNext()) {
            const QRegularExpressionMatch pair = labels.next();
            sample.labels.insert(pair.captured(1), pair.captured(2));
        }
        found.append(sample);
    }
    return found;
}

// The samples of that name whose labels include the ones given.
QVector<Sample> matching(const QVector<Sample> &all, const QString &name, const QMap<QString, QString> &labels)
{
    QVector<Sample> found;
    for (const Sample &sample : all) {
        bool fits = sample.name == name;
        for (auto label = labels.cbegin(); fits && label != labels.cend(); ++label)
            fits = sample.labels.value(label.key()) == label.value();
        if (fits)
            found.append(sample);
    }
    return found;
}

// The value of the one sample that fits; NaN when none or several do.
double valueOf(const QVector<Sample> &all, const QString &name, const QMap<QString, QString> &labels)
{
    const QVector<Sample> found = matching(all, name, labels);
    return found.size() == 1 ? found.first().value : qQNaN();
}

QSet<QString> velmorFamiliesIn(const QByteArray &exposition)
{
    static const QRegularExpression type(QStringLiteral("^# TYPE (velmor_\\S+) "), QRegularExpression::MultilineOption);
    QSet<QString> names;
    auto types = type.globalMatch(QString::fromUtf8(exposition));
    while (types.hasNext())
        names.insert(types.next().captured(1));
    return names;
}

QMap<QString, QString> device(const QString &name)
{
    return {{QStringLiteral("device"), name}};
}

QMap<QString, QString> variable(const QString &deviceName, const QString &variableName)
{
    return {{QStringLiteral("device"), deviceName}, {QStringLiteral("variable"), variableName}};
}

} // namespace

// velmor-cli serving Prometheus metrics while it polls controllers played by velmor-sim.
class TestCliMetrics : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void expositionHasEverySeries();
    void lostLinkDropsValuesUntilItIsBack();
    void takenPortExitsWithTwo();
    void prometheusScrapesTwoControllers();
    void idleClientsHoldUpNoScrape();

private:
    void startPolling(const QStringList &descriptionFiles);
    QByteArray metrics() const;
    QVector<Sample> currentSamples() const;
    double cycles(const QString &deviceName) const;

    std::unique_ptr<ControllerFleet> m_fleet;
    std::unique_ptr<CliRunner> m_cli;
    int m_metricsPort = 0;
};

void TestCliMetrics::init()
{
    m_fleet = std::make_unique<ControllerFleet>();
    m_cli = std::make_unique<CliRunner>();
    m_metricsPort = SimProcess::freePort();
}

void TestCliMetrics::cleanup()
{
    if (QTest::currentTestFailed())
        qInfo().noquote() << "velmor-cli stderr:\n" << m_cli->err() << "\nmetrics:\n" << metrics();
    m_cli.reset();
    m_fleet.reset();
}

void TestCliMetrics::startPolling(const QStringList &descriptionFiles)
{
    m_cli->start(descriptionFiles
                 + QStringList{QStringLiteral("--watch"), QStringLiteral("--interval"), QStringLiteral("100"),
                               QStringLiteral("--query-delay"), QStringLiteral("10"), QStringLiteral("--metrics"),
                               QStringLiteral("127.0.0.1:%1").arg(m_metricsPort)});
}

QByteArray TestCliMetrics::metrics() const
{
    return httpGet(QUrl(QStringLiteral("http://127.0.0.1:%1/metrics").arg(m_metricsPort)));
}

QVector<Sample> TestCliMetrics::currentSamples() const
{
    return samples(metrics());
}

double TestCliMetrics::cycles(const QString &deviceName) const
{
    return valueOf(currentSamples(), QStringLiteral("velmor_cycles_total"), device(deviceName));
}

void TestCliMetrics::expositionHasEverySeries()
{
    QVERIFY(!m_fleet->add(QStringLiteral("alpha")).isEmpty());
    const QString alpha = m_fleet->describe(QStringLiteral("alpha"), m_fleet->port(QStringLiteral("alpha")),
                                            ControllerFleet::servedVariables + ghostVariable);
    const QString beta = m_fleet->add(QStringLiteral("beta"));
    QVERIFY(!beta.isEmpty());
    startPolling({alpha, beta});
    QTRY_VERIFY_WITH_TIMEOUT(cycles(QStringLiteral("alpha")) >= 2 && cycles(QStringLiteral("beta")) >= 2, WaitMs);

    const QByteArray exposition = metrics();
    const QVector<Sample> all = samples(exposition);
    QCOMPARE(velmorFamiliesIn(exposition), velmorFamilies);
    QCOMPARE(valueOf(all, QStringLiteral("velmor_value"),
                     {{QStringLiteral("device"), QStringLiteral("alpha")}, {QStringLiteral("variable"), QStringLiteral("T1")},
                      {QStringLiteral("address"), QStringLiteral("0")}}),
             65.0);
    QCOMPARE(valueOf(all, QStringLiteral("velmor_value"), variable(QStringLiteral("beta"), QStringLiteral("Setpoint"))), 60.0);
    // A read that fails is counted, and leaves no sample behind.
    QVERIFY(matching(all, QStringLiteral("velmor_value"), variable(QStringLiteral("alpha"), QStringLiteral("Ghost"))).isEmpty());
    QVERIFY(valueOf(all, QStringLiteral("velmor_read_failures_total"), variable(QStringLiteral("alpha"), QStringLiteral("Ghost"))) >= 2);
    QCOMPARE(valueOf(all, QStringLiteral("velmor_read_failures_total"), variable(QStringLiteral("alpha"), QStringLiteral("T1"))), 0.0);
    QCOMPARE(valueOf(all, QStringLiteral("velmor_write_failures_total"), variable(QStringLiteral("beta"), QStringLiteral("Hyst"))), 0.0);
    QCOMPARE(valueOf(all, QStringLiteral("velmor_connected"), device(QStringLiteral("alpha"))), 1.0);
    QVERIFY(valueOf(all, QStringLiteral("velmor_cycle_duration_seconds_count"), device(QStringLiteral("beta"))) >= 2);
    QVERIFY(valueOf(all, QStringLiteral("velmor_cycle_duration_seconds_bucket"),
                    {{QStringLiteral("device"), QStringLiteral("beta")}, {QStringLiteral("le"), QStringLiteral("+Inf")}}) >= 2);
    const double lastCycle = valueOf(all, QStringLiteral("velmor_last_cycle_timestamp_seconds"), device(QStringLiteral("beta")));
    QVERIFY2(qAbs(lastCycle - QDateTime::currentSecsSinceEpoch()) < 60, qPrintable(QString::number(lastCycle)));

    QProcess promtool;
    promtool.start(QStringLiteral("promtool"), {QStringLiteral("check"), QStringLiteral("metrics")});
    QVERIFY(promtool.waitForStarted(WaitMs));
    promtool.write(exposition);
    promtool.closeWriteChannel();
    QVERIFY(promtool.waitForFinished(WaitMs));
    QVERIFY2(promtool.exitCode() == 0, promtool.readAll().constData());
}

void TestCliMetrics::lostLinkDropsValuesUntilItIsBack()
{
    const QString alpha = m_fleet->add(QStringLiteral("alpha"));
    const QString beta = m_fleet->add(QStringLiteral("beta"));
    QVERIFY(!alpha.isEmpty() && !beta.isEmpty());
    startPolling({alpha, beta});
    const auto betaValues = [this] {
        return matching(currentSamples(), QStringLiteral("velmor_value"), device(QStringLiteral("beta"))).size();
    };
    QTRY_COMPARE_WITH_TIMEOUT(betaValues(), 3, WaitMs);

    QVERIFY(m_fleet->stop(QStringLiteral("beta")));
    QTRY_COMPARE_WITH_TIMEOUT(valueOf(currentSamples(), QStringLiteral("velmor_connected"), device(QStringLiteral("beta"))),
                              0.0, WaitMs);
    QCOMPARE(betaValues(), 0);
    // The other controller goes on.
    const double alphaCycles = cycles(QStringLiteral("alpha"));
    QTRY_VERIFY_WITH_TIMEOUT(cycles(QStringLiteral("alpha")) >= alphaCycles + 3, WaitMs);
    QCOMPARE(valueOf(currentSamples(), QStringLiteral("velmor_connected"), device(QStringLiteral("alpha"))), 1.0);

    QVERIFY(m_fleet->restart(QStringLiteral("beta")));
    QTRY_COMPARE_WITH_TIMEOUT(betaValues(), 3, WaitMs);
    QCOMPARE(valueOf(currentSamples(), QStringLiteral("velmor_connected"), device(QStringLiteral("beta"))), 1.0);
    // Values come back with the first reads, the note once that cycle has ended.
    QTRY_COMPARE_WITH_TIMEOUT(m_cli->err().count(QStringLiteral("velmor-cli: beta: link up again")), 1, WaitMs);
    QCOMPARE(m_cli->err().count(QStringLiteral("velmor-cli: beta: link down")), 1);
    QCOMPARE(m_cli->process().state(), QProcess::Running);
}

void TestCliMetrics::takenPortExitsWithTwo()
{
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
    const QString alpha = m_fleet->addRefusing(QStringLiteral("alpha"));
    QVERIFY(m_cli->run({alpha, QStringLiteral("--watch"), QStringLiteral("--metrics"),
                        QStringLiteral("127.0.0.1:%1").arg(taken.serverPort())}));
    QCOMPARE(m_cli->exitCode(), 2);
    QCOMPARE(m_cli->err(), QStringLiteral("velmor-cli: cannot serve metrics on 127.0.0.1:%1: "
                                          "The bound address is already in use\n").arg(taken.serverPort()));
    QCOMPARE(m_cli->out(), QString());
}

void TestCliMetrics::prometheusScrapesTwoControllers()
{
    const QString alpha = m_fleet->add(QStringLiteral("alpha"));
    const QString beta = m_fleet->add(QStringLiteral("beta"));
    QVERIFY(!alpha.isEmpty() && !beta.isEmpty());
    startPolling({alpha, beta});
    PrometheusServer prometheus;
    QVERIFY(prometheus.start({QStringLiteral("127.0.0.1:%1").arg(m_metricsPort)}));
    QTRY_VERIFY_WITH_TIMEOUT(prometheus.ready(), WaitMs);

    const QString t1 = QStringLiteral("velmor_value{variable=\"T1\"}");
    QTRY_COMPARE_WITH_TIMEOUT(prometheus.query(t1).size(), 2, WaitMs);
    QStringList devices;
    for (const QJsonValue &result : prometheus.query(t1)) {
        const QJsonObject series = result.toObject();
        devices.append(series.value(QStringLiteral("metric")).toObject().value(QStringLiteral("device")).toString());
        QCOMPARE(series.value(QStringLiteral("value")).toArray().at(1).toString(), QStringLiteral("65"));
    }
    devices.sort();
    QCOMPARE(devices, QStringList({QStringLiteral("alpha"), QStringLiteral("beta")}));
}

void TestCliMetrics::idleClientsHoldUpNoScrape()
{
    const QString alpha = m_fleet->add(QStringLiteral("alpha"));
    QVERIFY(!alpha.isEmpty());
    startPolling({alpha});
    QTRY_VERIFY_WITH_TIMEOUT(cycles(QStringLiteral("alpha")) >= 1, WaitMs);

    // Two clients that connect and say nothing, and one that stops halfway through its request.
    QTcpSocket idle[3];
    for (QTcpSocket &client : idle) {
        client.connectToHost(QHostAddress::LocalHost, quint16(m_metricsPort));
        QVERIFY(client.waitForConnected(WaitMs));
    }
    idle[2].write("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n");
    QVERIFY(idle[2].waitForBytesWritten(WaitMs));
    QElapsedTimer scrape;
    scrape.start();
    QVERIFY(metrics().contains("velmor_cycles_total"));
    // Answered at once; a generous bound for the loaded machine, far below the 15 s it took.
    QVERIFY2(scrape.elapsed() < 5000, qPrintable(QString::number(scrape.elapsed())));
}

QTEST_MAIN(TestCliMetrics)
#include "tst_climetrics.moc"
