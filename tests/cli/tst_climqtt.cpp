#include "clirunner.h"
#include "controllerfleet.h"
#include "mosquittobroker.h"
#include "mqttsubscriber.h"

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

QTEST_MAIN(TestCliMqtt)
#include "tst_climqtt.moc"
