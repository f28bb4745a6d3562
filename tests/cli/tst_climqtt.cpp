#include "clirunner.h"
#include "controllerfleet.h"
#include "httpget.h"
#include "mosquittobroker.h"
#include "mqttsubscriber.h"
#include "simprocess.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <csignal>

namespace {

// Generous: the controllers, the program and the broker share a loaded 2-core machine.
constexpr int WaitMs = 30000;

// "Cycle N at": the program has finished its cycle N.
int finishedCycles(const QString &out)
{
    return out.count(QStringLiteral("\nCycle ")) + (out.startsWith(QLatin1String("Cycle ")) ? 1 : 0);
}

// Passes a controller's Modbus TCP traffic on while it answers; while it does not, the
// requests are swallowed and the connection stays open.
class SwitchableController : public QTcpServer
{
public:
    explicit SwitchableController(int controllerPort)
        : m_controllerPort(controllerPort)
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *client = nextPendingConnection())
                relay(client);
        });
    }

    void setAnswering(bool answering)
    {
        m_answering = answering;
    }

private:
    void relay(QTcpSocket *client)
    {
        client->setParent(this);
        auto *controller = new QTcpSocket(client);
        controller->connectToHost(QHostAddress::LocalHost, quint16(m_controllerPort));
        connect(client, &QTcpSocket::readyRead, controller, [this, client, controller] {
            const QByteArray request = client->readAll();
            if (m_answering)
                controller->write(request);
        });
        connect(controller, &QTcpSocket::readyRead, client, [client, controller] { client->write(controller->readAll()); });
    }

    int m_controllerPort;
    bool m_answering = true;
};

QString metricsText(int port)
{
    return QString::fromUtf8(httpGet(QUrl(QStringLiteral("http://127.0.0.1:%1/metrics").arg(port))));
}

QStringList csvLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringList();
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

// velmor-cli publishing the values of a controller played by velmor-sim on a mosquitto
// broker, and writing the values set through it.
class TestCliMqtt : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void valuesAndStatusAreRetained();
    void statusGoesOfflineWhenTheProgramEnds_data();
    void statusGoesOfflineWhenTheProgramEnds();
    void setIsWrittenAndReadBack_data();
    void setIsWrittenAndReadBack();
    void setDuringTheVariablesOwnReadIsNotLost();
    void retainedSetIsNotWritten();
    void brokerRestartHoldsUpNoPolling();
    void loginWithPasswordFile_data();
    void loginWithPasswordFile();
    void tlsChecksTheBrokersName_data();
    void tlsChecksTheBrokersName();
    void unresolvableBrokerExitsWithTwo();
    void silentControllerIsOfflineUntilItAnswers();
    void valueNeverReadIsNotExported();
    void everyNameGetsATopicOfItsOwn();

private:
    // Polls the controller of that name, publishing to the broker, until it is online.
    bool startBridge(const QString &name);
    QString topic(const QString &level) const;

    std::unique_ptr<ControllerFleet> m_fleet;
    std::unique_ptr<MosquittoBroker> m_broker;
    std::unique_ptr<CliRunner> m_cli;
    QString m_device;
};

void TestCliMqtt::init()
{
    m_fleet = std::make_unique<ControllerFleet>();
    m_broker = std::make_unique<MosquittoBroker>();
    m_cli = std::make_unique<CliRunner>();
    QVERIFY(m_broker->start());
}

void TestCliMqtt::cleanup()
{
    if (QTest::currentTestFailed())
        qInfo().noquote() << "velmor-cli stderr:\n" << m_cli->err() << "\nbroker log:\n" << m_broker->log();
    m_cli.reset();
    m_fleet.reset();
    m_broker.reset();
}

bool TestCliMqtt::startBridge(const QString &name)
{
    const QString description = m_fleet->add(name);
    if (description.isEmpty())
        return false;
    m_device = name;
    m_cli->start({description, QStringLiteral("--watch"), QStringLiteral("--interval"), QStringLiteral("100"),
                  QStringLiteral("--query-delay"), QStringLiteral("10"), QStringLiteral("--mqtt"), m_broker->address()});
    return true;
}

QString TestCliMqtt::topic(const QString &level) const
{
    return QStringLiteral("velmor/") + m_device + QLatin1Char('/') + level;
}

void TestCliMqtt::valuesAndStatusAreRetained()
{
    // "#" means every level below in a subscription: the device's topic level has "_".
    QVERIFY(startBridge(QStringLiteral("boiler#1")));
    MqttSubscriber live(m_broker->port(), QStringLiteral("velmor/#"));
    QTRY_COMPARE_WITH_TIMEOUT(live.last(QStringLiteral("velmor/boiler_1/Setpoint")), QStringLiteral("60"), WaitMs);

    // A subscriber that comes later gets what was retained.
    MqttSubscriber late(m_broker->port(), QStringLiteral("velmor/boiler_1/+"));
    QTRY_COMPARE_WITH_TIMEOUT(late.messages().size(), 4, WaitMs);
    QMap<QString, QString> retained;
    for (const MqttSubscriber::Message &message : late.messages()) {
        QVERIFY2(message.retained, qPrintable(message.topic));
        retained.insert(message.topic, message.payload);
    }
    const QMap<QString, QString> expected{{QStringLiteral("velmor/boiler_1/status"), QStringLiteral("online")},
                                          {QStringLiteral("velmor/boiler_1/T1"), QStringLiteral("65")},
                                          {QStringLiteral("velmor/boiler_1/Hyst"), QStringLiteral("3")},
                                          {QStringLiteral("velmor/boiler_1/Setpoint"), QStringLiteral("60")}};
    QCOMPARE(retained, expected);
    // Unchanged values are not published again.
    const int cycles = finishedCycles(m_cli->out());
    QTRY_VERIFY_WITH_TIMEOUT(finishedCycles(m_cli->out()) >= cycles + 3, WaitMs);
    QCOMPARE(live.payloads(QStringLiteral("velmor/boiler_1/T1")).size(), 1);
}

void TestCliMqtt::statusGoesOfflineWhenTheProgramEnds_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("killed: the broker sends the last will") << int(SIGKILL);
    QTest::newRow("stopped: the program says goodbye") << int(SIGTERM);
}

void TestCliMqtt::statusGoesOfflineWhenTheProgramEnds()
{
    QFETCH(int, signalNumber);
    QVERIFY(startBridge(QStringLiteral("alpha")));
    MqttSubscriber status(m_broker->port(), topic(QStringLiteral("status")));
    QTRY_COMPARE_WITH_TIMEOUT(status.last(topic(QStringLiteral("status"))), QStringLiteral("online"), WaitMs);
    QCOMPARE(::kill(pid_t(m_cli->process().processId()), signalNumber), 0);
    QVERIFY(m_cli->waitForExit());
    QTRY_COMPARE_WITH_TIMEOUT(status.last(topic(QStringLiteral("status"))), QStringLiteral("offline"), WaitMs);
}

void TestCliMqtt::setIsWrittenAndReadBack_data()
{
    QTest::addColumn<QString>("variable");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("value");

    QTest::newRow("good value") << QStringLiteral("Hyst") << QByteArray("7") << QStringLiteral("ok") << QStringLiteral("7");
    QTest::newRow("float value") << QStringLiteral("Setpoint") << QByteArray("22.5") << QStringLiteral("ok")
                                 << QStringLiteral("22.5");
    QTest::newRow("read-only variable") << QStringLiteral("T1") << QByteArray("5") << QStringLiteral("T1 is read-only")
                                        << QStringLiteral("65");
    QTest::newRow("not a number") << QStringLiteral("Hyst") << QByteArray("abc")
                                  << QStringLiteral("Hyst cannot hold the value \"abc\"") << QStringLiteral("3");
    QTest::newRow("beyond 16 bits") << QStringLiteral("Hyst") << QByteArray("70000")
                                    << QStringLiteral("Hyst cannot hold the value \"70000\": it takes -32768 to 32767")
                                    << QStringLiteral("3");
    QTest::newRow("integer, NUL and more digits") << QStringLiteral("Hyst") << QByteArray("7\0" "999", 5)
                                                  << QStringLiteral("Hyst cannot hold the value \"7\\x00999\"")
                                                  << QStringLiteral("3");
    QTest::newRow("float, NUL and text") << QStringLiteral("Setpoint") << QByteArray("2.5\0junk", 8)
                                         << QStringLiteral("Setpoint cannot hold the value \"2.5\\x00junk\"")
                                         << QStringLiteral("60");
    QTest::newRow("no such variable") << QStringLiteral("Nope") << QByteArray("1")
                                      << QStringLiteral("no variable is published as Nope") << QString();
}

void TestCliMqtt::setIsWrittenAndReadBack()
{
    QFETCH(QString, variable);
    QFETCH(QByteArray, payload);
    QFETCH(QString, result);
    QFETCH(QString, value);

    QVERIFY(startBridge(QStringLiteral("alpha")));
    MqttSubscriber device(m_broker->port(), topic(QStringLiteral("#")));
    QTRY_COMPARE_WITH_TIMEOUT(device.last(topic(QStringLiteral("Setpoint"))), QStringLiteral("60"), WaitMs);
    QVERIFY(MqttSubscriber::publish(m_broker->port(), topic(variable + QStringLiteral("/set")), payload));
    QTRY_COMPARE_WITH_TIMEOUT(device.last(topic(variable + QStringLiteral("/set/result"))), result, WaitMs);
    // The value published is the one read back from the controller, in a later cycle.
    const int cycles = finishedCycles(m_cli->out());
    QTRY_VERIFY_WITH_TIMEOUT(finishedCycles(m_cli->out()) >= cycles + 2, WaitMs);
    QCOMPARE(device.last(topic(variable)), value);
    const bool written = result == QLatin1String("ok");
    QCOMPARE(m_fleet->traffic(QStringLiteral("alpha")).contains(" | write "), written);
}

void TestCliMqtt::setDuringTheVariablesOwnReadIsNotLost()
{
    // Hyst alone, answered after 300 ms: its read is under way nearly all the time.
    QVERIFY(!m_fleet->add(QStringLiteral("slow"), {QStringLiteral("--delay"), QStringLiteral("300")}).isEmpty());
    m_device = QStringLiteral("slow");
    const QString description = m_fleet->describe(m_device, m_fleet->port(m_device),
                                                  "  - {name: Hyst, addr: 103, type: int16, rw: true}\n");
    m_cli->start({description, QStringLiteral("--watch"), QStringLiteral("--interval"), QStringLiteral("0"),
                  QStringLiteral("--query-delay"), QStringLiteral("0"), QStringLiteral("--mqtt"), m_broker->address()});
    MqttSubscriber device(m_broker->port(), topic(QStringLiteral("#")));
    QTRY_COMPARE_WITH_TIMEOUT(device.last(topic(QStringLiteral("Hyst"))), QStringLiteral("3"), WaitMs);
    QVERIFY(MqttSubscriber::publish(m_broker->port(), topic(QStringLiteral("Hyst/set")), QByteArrayLiteral("7")));
    QTRY_COMPARE_WITH_TIMEOUT(device.last(topic(QStringLiteral("Hyst/set/result"))), QStringLiteral("ok"), WaitMs);
    QCOMPARE(device.last(topic(QStringLiteral("Hyst"))), QStringLiteral("7"));
}

void TestCliMqtt::retainedSetIsNotWritten()
{
    // Kept by the broker before the program connects, so handed to it as retained.
    QVERIFY(MqttSubscriber::publish(m_broker->port(), QStringLiteral("velmor/alpha/Hyst/set"), QByteArrayLiteral("9"), true));
    MqttSubscriber result(m_broker->port(), QStringLiteral("velmor/alpha/Hyst/set/result"));
    QVERIFY(startBridge(QStringLiteral("alpha")));
    QTRY_COMPARE_WITH_TIMEOUT(result.last(topic(QStringLiteral("Hyst/set/result"))),
                              QStringLiteral("Hyst: not written: a set must not be retained"), WaitMs);
    const int cycles = finishedCycles(m_cli->out());
    QTRY_VERIFY_WITH_TIMEOUT(finishedCycles(m_cli->out()) >= cycles + 2, WaitMs);
    QVERIFY(!m_fleet->traffic(QStringLiteral("alpha")).contains(" | write "));
}

void TestCliMqtt::brokerRestartHoldsUpNoPolling()
{
    QVERIFY(startBridge(QStringLiteral("alpha")));
    {
        MqttSubscriber status(m_broker->port(), topic(QStringLiteral("status")));
        QTRY_COMPARE_WITH_TIMEOUT(status.last(topic(QStringLiteral("status"))), QStringLiteral("online"), WaitMs);
    }
    QVERIFY(m_broker->stop());
    const QString lost = QStringLiteral("velmor-cli: MQTT broker %1: ").arg(m_broker->address());
    QTRY_VERIFY_WITH_TIMEOUT(m_cli->err().contains(lost), WaitMs);
    const int cycles = finishedCycles(m_cli->out());
    QTRY_VERIFY_WITH_TIMEOUT(finishedCycles(m_cli->out()) >= cycles + 5, WaitMs);

    // The broker kept nothing: the values come again once it is back.
    QVERIFY(m_broker->start());
    MqttSubscriber device(m_broker->port(), topic(QStringLiteral("+")));
    QTRY_COMPARE_WITH_TIMEOUT(device.last(topic(QStringLiteral("Setpoint"))), QStringLiteral("60"), WaitMs);
    QCOMPARE(device.last(topic(QStringLiteral("status"))), QStringLiteral("online"));
    QTRY_VERIFY_WITH_TIMEOUT(m_cli->err().contains(lost + QStringLiteral("connected again")), WaitMs);
    QCOMPARE(m_cli->err().count(lost), 2);
    QCOMPARE(m_cli->process().state(), QProcess::Running);
}

void TestCliMqtt::loginWithPasswordFile_data()
{
    QTest::addColumn<QByteArray>("passwordFile");
    QTest::addColumn<bool>("admitted");
    QTest::newRow("right password") << QByteArray("s3cret\n") << true;
    QTest::newRow("right password, no line end") << QByteArray("s3cret") << true;
    QTest::newRow("wrong password") << QByteArray("secret\n") << false;
}

void TestCliMqtt::loginWithPasswordFile()
{
    QFETCH(QByteArray, passwordFile);
    QFETCH(bool, admitted);
    m_broker = std::make_unique<MosquittoBroker>(MosquittoBroker::Security{QStringLiteral("operator"), QStringLiteral("s3cret")});
    QVERIFY(m_broker->start());
    const QString description = m_fleet->add(QStringLiteral("alpha"));
    QVERIFY(!description.isEmpty());
    m_device = QStringLiteral("alpha");
    const QString passwordPath = m_fleet->path() + QStringLiteral("/password");
    QFile file(passwordPath);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(passwordFile) == passwordFile.size());
    file.close();
    m_cli->start({description, QStringLiteral("--watch"), QStringLiteral("--interval"), QStringLiteral("100"),
                  QStringLiteral("--mqtt"), m_broker->address(), QStringLiteral("--mqtt-user"), QStringLiteral("operator"),
                  QStringLiteral("--mqtt-password-file"), passwordPath});
    if (admitted) {
        MqttSubscriber status(m_broker->port(), topic(QStringLiteral("status")),
                              {QStringLiteral("-u"), QStringLiteral("operator"), QStringLiteral("-P"), QStringLiteral("s3cret")});
        QTRY_COMPARE_WITH_TIMEOUT(status.last(topic(QStringLiteral("status"))), QStringLiteral("online"), WaitMs);
        return;
    }
    // Refused again and again, and said once.
    QTRY_VERIFY_WITH_TIMEOUT(m_broker->log().count("disconnected, not authorised") >= 2, WaitMs);
    QCOMPARE(m_cli->err().count(QStringLiteral("velmor-cli: MQTT broker %1: Connection Refused: not authorised; ")
                                    .arg(m_broker->address())),
             1);
    QVERIFY(finishedCycles(m_cli->out()) > 0);
}

void TestCliMqtt::tlsChecksTheBrokersName_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("admitted");
    QTest::newRow("the name in the certificate") << QStringLiteral("localhost") << true;
    QTest::newRow("an address the certificate does not name") << QStringLiteral("127.0.0.1") << false;
}

void TestCliMqtt::tlsChecksTheBrokersName()
{
    QFETCH(QString, host);
    QFETCH(bool, admitted);
    MosquittoBroker::Security tls;
    tls.tls = true;
    m_broker = std::make_unique<MosquittoBroker>(tls);
    QVERIFY(m_broker->start());
    const QString description = m_fleet->add(QStringLiteral("alpha"));
    QVERIFY(!description.isEmpty());
    m_device = QStringLiteral("alpha");
    const QString broker = QStringLiteral("%1:%2").arg(host).arg(m_broker->port());
    m_cli->start({description, QStringLiteral("--watch"), QStringLiteral("--interval"), QStringLiteral("100"),
                  QStringLiteral("--mqtt"), broker, QStringLiteral("--mqtt-tls"), m_broker->caFile()});
    if (admitted) {
        MqttSubscriber status(m_broker->port(), topic(QStringLiteral("status")),
                              {QStringLiteral("-h"), QStringLiteral("localhost"), QStringLiteral("--cafile"), m_broker->caFile()});
        QTRY_COMPARE_WITH_TIMEOUT(status.last(topic(QStringLiteral("status"))), QStringLiteral("online"), WaitMs);
        return;
    }
    // Refused again and again, and said once.
    QTRY_VERIFY_WITH_TIMEOUT(m_broker->log().count("OpenSSL Error") >= 2, WaitMs);
    QCOMPARE(m_cli->err().count(QStringLiteral("velmor-cli: MQTT broker %1: A TLS error occurred; ").arg(broker)), 1);
    QVERIFY(!m_broker->log().contains("New client connected"));
}

void TestCliMqtt::unresolvableBrokerExitsWithTwo()
{
    const QString description = m_fleet->addRefusing(QStringLiteral("alpha"));
    QVERIFY(m_cli->run({description, QStringLiteral("--watch"), QStringLiteral("--mqtt"), QStringLiteral("broker.invalid")}));
    QCOMPARE(m_cli->exitCode(), 2);
    QVERIFY2(m_cli->err().startsWith(QStringLiteral("velmor-cli: cannot resolve the MQTT broker host broker.invalid: ")),
             qPrintable(m_cli->err()));
}

void TestCliMqtt::silentControllerIsOfflineUntilItAnswers()
{
    QVERIFY(!m_fleet->add(QStringLiteral("alpha")).isEmpty());
    SwitchableController controller(m_fleet->port(QStringLiteral("alpha")));
    QVERIFY(controller.listen(QHostAddress::LocalHost, 0));
    m_device = QStringLiteral("alpha");
    const QString description = m_fleet->describe(m_device, controller.serverPort());
    const int metricsPort = SimProcess::freePort();
    m_cli->start({description, QStringLiteral("--watch"), QStringLiteral("--interval"), QStringLiteral("50"),
                  QStringLiteral("--query-delay"), QStringLiteral("10"), QStringLiteral("--timeout"), QStringLiteral("100"),
                  QStringLiteral("--mqtt"), m_broker->address(), QStringLiteral("--metrics"),
                  QStringLiteral("127.0.0.1:%1").arg(metricsPort)});
    const QString connected = QStringLiteral("velmor_connected{device=\"alpha\"} ");
    const QString status = topic(QStringLiteral("status"));
    MqttSubscriber device(m_broker->port(), status);
    QTRY_COMPARE_WITH_TIMEOUT(device.last(status), QStringLiteral("online"), WaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(metricsText(metricsPort).contains(connected + QLatin1Char('1')), WaitMs);

    controller.setAnswering(false);
    QTRY_COMPARE_WITH_TIMEOUT(device.last(status), QStringLiteral("offline"), WaitMs);
    QVERIFY(metricsText(metricsPort).contains(connected + QLatin1Char('0')));
    QVERIFY(!metricsText(metricsPort).contains(QStringLiteral("velmor_value{")));
    // Said once, however many cycles go unanswered; the reads of the first name their variables.
    const int cycles = finishedCycles(m_cli->out());
    QTRY_VERIFY_WITH_TIMEOUT(finishedCycles(m_cli->out()) >= cycles + 3, WaitMs);
    const QString outage = QStringLiteral("velmor-cli: no variable read in a whole cycle; offline until the controller answers\n");
    QCOMPARE(m_cli->err().count(outage), 1);
    QVERIFY2(m_cli->err().section(outage, 0, 0).contains(QStringLiteral("Reading variable T1")),
             qPrintable(m_cli->err()));
    QVERIFY2(!m_cli->err().section(outage, 1).contains(QStringLiteral("Reading variable")), qPrintable(m_cli->err()));

    controller.setAnswering(true);
    QTRY_COMPARE_WITH_TIMEOUT(device.last(status), QStringLiteral("online"), WaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(metricsText(metricsPort).contains(connected + QLatin1Char('1')), WaitMs);
    QCOMPARE(m_cli->err().count(QStringLiteral("velmor-cli: the controller answers again\n")), 1);
}

void TestCliMqtt::valueNeverReadIsNotExported()
{
    // A type the model does not know is read, but no value is stored: the file's 777 is none.
    QVERIFY(!m_fleet->add(QStringLiteral("alpha")).isEmpty());
    m_device = QStringLiteral("alpha");
    const QString description = m_fleet->describe(m_device, m_fleet->port(m_device),
                                                  ControllerFleet::servedVariables
                                                      + "  - {name: Odd, addr: 0, type: uint16, input: true, value: 777}\n");
    const QString csv = m_fleet->path() + QStringLiteral("/log.csv");
    const int metricsPort = SimProcess::freePort();
    m_cli->start({description, QStringLiteral("--watch"), QStringLiteral("--interval"), QStringLiteral("50"),
                  QStringLiteral("--mqtt"), m_broker->address(), QStringLiteral("--metrics"),
                  QStringLiteral("127.0.0.1:%1").arg(metricsPort), QStringLiteral("--csv"), csv});
    MqttSubscriber device(m_broker->port(), topic(QStringLiteral("+")));
    QTRY_COMPARE_WITH_TIMEOUT(device.last(topic(QStringLiteral("T1"))), QStringLiteral("65"), WaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(finishedCycles(m_cli->out()) >= 2, WaitMs);

    QCOMPARE(device.last(topic(QStringLiteral("Odd"))), QString());
    const QString metrics = metricsText(metricsPort);
    QVERIFY2(metrics.contains(QStringLiteral("velmor_value{address=\"0\",device=\"alpha\",variable=\"T1\"} 65")),
             qPrintable(metrics));
    QVERIFY2(!metrics.contains(QStringLiteral("variable=\"Odd\"} 777")), qPrintable(metrics));
    const QStringList rows = csvLines(csv);
    QVERIFY(rows.size() >= 3);
    QCOMPARE(rows.first(), QStringLiteral("time,cycle_ms,T1,Hyst,Setpoint,Odd"));
    QVERIFY2(rows.at(1).endsWith(QStringLiteral(",65,3,60,")), qPrintable(rows.at(1)));
}

void TestCliMqtt::everyNameGetsATopicOfItsOwn()
{
    // Names MQTT forbids, one far longer than a topic may be, and two that read alike once
    // made fit, beside the usual three.
    const QByteArray longName(70000, 'L');
    QVERIFY(!m_fleet->add(QStringLiteral("alpha")).isEmpty());
    m_device = QStringLiteral("alpha");
    const QString description = m_fleet->describe(
        m_device, m_fleet->port(m_device),
        ControllerFleet::servedVariables + "  - {name: \"T\\U0001FFFE\", addr: 0, type: int16, input: true}\n"
            "  - {name: " + longName + ", addr: 103, type: int16}\n"
            "  - {name: a/b, addr: 100, type: float32}\n"
            "  - {name: a+b, addr: 100, type: float32}\n");
    m_cli->start({description, QStringLiteral("--watch"), QStringLiteral("--interval"), QStringLiteral("50"),
                  QStringLiteral("--mqtt"), m_broker->address()});
    MqttSubscriber device(m_broker->port(), topic(QStringLiteral("#")));
    const QMap<QString, QString> expected{{QStringLiteral("T1"), QStringLiteral("65")},
                                          {QStringLiteral("Hyst"), QStringLiteral("3")},
                                          {QStringLiteral("Setpoint"), QStringLiteral("60")},
                                          {QStringLiteral("T_"), QStringLiteral("65")},
                                          {QString(200, QLatin1Char('L')), QStringLiteral("3")},
                                          {QStringLiteral("a_b@100.5"), QStringLiteral("60")},
                                          {QStringLiteral("a_b@100.6"), QStringLiteral("60")}};
    for (auto level = expected.cbegin(); level != expected.cend(); ++level)
        QTRY_COMPARE_WITH_TIMEOUT(device.last(topic(level.key())), level.value(), WaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(finishedCycles(m_cli->out()) >= 3, WaitMs);
    // Online from the first value on: the connection to the broker never dropped.
    const QStringList statuses = device.payloads(topic(QStringLiteral("status")));
    QVERIFY2(!statuses.mid(statuses.indexOf(QStringLiteral("online"))).contains(QStringLiteral("offline")),
             qPrintable(statuses.join(QLatin1Char(' '))));
    QVERIFY2(!m_cli->err().contains(QStringLiteral("MQTT broker")), qPrintable(m_cli->err()));
}

QTEST_MAIN(TestCliMqtt)
#include "tst_climqtt.moc"
