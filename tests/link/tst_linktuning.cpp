#include "cyclerun.h"
#include "descriptiondir.h"
#include "fakevelmorcontroller.h"
#include "recordingmodbusserver.h"
#include "velmordevicemodel.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

// The link tuning (timeout, retries) on both protocols, and the traffic trace.
class TestLinkTuning : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void velmorbusResponseTimeout_data();
    void velmorbusResponseTimeout();
    void modbusTimeoutAndRetries_data();
    void modbusTimeoutAndRetries();
    void settersRefuseValuesOutOfRange();
    void velmorbusTraceIsTheWholeFrame();
    void modbusTraceIsUnitIdAndPdu();

private:
    QString writeDescription(const QByteArray &protocolAndLink, const QByteArray &keys, const QByteArray &variables);
    // Bytes per direction, each frame as upper-case hex after its direction mark.
    static QStringList traceTexts(const QSignalSpy &trace);

    std::unique_ptr<DescriptionDir> m_dir;
};

void TestLinkTuning::init()
{
    m_dir.reset(new DescriptionDir);
}

void TestLinkTuning::cleanup()
{
    m_dir.reset();
}

QString TestLinkTuning::writeDescription(const QByteArray &protocolAndLink, const QByteArray &keys,
                                         const QByteArray &variables)
{
    return m_dir->write("device.yml", "device: Test\n" + protocolAndLink + "id: 1\n" + keys + "variables:\n" + variables);
}

QStringList TestLinkTuning::traceTexts(const QSignalSpy &trace)
{
    QStringList texts;
    for (const QList<QVariant> &frame : trace) {
        const bool sent = frame.at(1).value<VelmorDeviceModel::TraceDirection>() == VelmorDeviceModel::Sent;
        texts << QLatin1String(sent ? "> " : "< ") + QString::fromLatin1(frame.at(2).toByteArray().toHex().toUpper());
        if (!frame.at(0).toDateTime().isValid())
            texts << QStringLiteral("no time");
    }
    return texts;
}

void TestLinkTuning::velmorbusResponseTimeout_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<bool>("read");

    QTest::newRow("no key: a 400 ms answer comes after the 200 ms default") << QByteArray() << false;
    QTest::newRow("timeout 1500: a 400 ms answer is read") << QByteArray("timeout: 1500\n") << true;
}

void TestLinkTuning::velmorbusResponseTimeout()
{
    QFETCH(QByteArray, keys);
    QFETCH(bool, read);

    FakeVelmorController controller;
    QVERIFY(controller.peer().isOpen());
    controller.setHandler([](const FakeVelmorController::Request &request) {
        return FakeVelmorController::readAnswer(request, QByteArray::fromHex("07000000"));
    });
    controller.setAnswerDelayMs(400);
    VelmorDeviceModel model(writeDescription("protocol: VelmorBUS RTU\nport: " + controller.portName().toUtf8()
                                                 + "\nbaudrate: 115200\n",
                                             keys, "  - addr: 0x10\n"));
    model.setInterQueryDelay(0);
    model.connectDevice();
    QVERIFY(model.connected());
    const CycleRun run = runCycle(model);
    QVERIFY(run.finished);
    QCOMPARE(run.storedValues, read ? 1 : 0);
    QCOMPARE(run.errors, read ? QStringList() : QStringList{QStringLiteral("Timeout")});
}

void TestLinkTuning::modbusTimeoutAndRetries_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<int>("retriesSet");
    QTest::addColumn<int>("expectedFrames");

    QTest::newRow("no keys: one try") << QByteArray("timeout: 100\n") << -1 << 1;
    QTest::newRow("retries 2: three tries") << QByteArray("timeout: 100\nretries: 2\n") << -1 << 3;
    QTest::newRow("property overrides the file") << QByteArray("timeout: 100\nretries: 2\n") << 1 << 2;
}

void TestLinkTuning::modbusTimeoutAndRetries()
{
    QFETCH(QByteArray, keys);
    QFETCH(int, retriesSet);
    QFETCH(int, expectedFrames);

    // Accepts the connection, takes every request and never answers.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    QByteArray received;
    connect(&silent, &QTcpServer::newConnection, &silent, [&silent, &received] {
        QTcpSocket *socket = silent.nextPendingConnection();
        connect(socket, &QTcpSocket::readyRead, socket, [socket, &received] { received += socket->readAll(); });
    });
    VelmorDeviceModel model(writeDescription("protocol: ModBUS TCP\nhost: 127.0.0.1\nport: "
                                                 + QByteArray::number(silent.serverPort()) + "\n",
                                             keys, "  - addr: 1\n    type: int16\n"));
    QVERIFY(model.valid());
    if (retriesSet >= 0)
        model.setRetries(retriesSet);
    model.setInterQueryDelay(0);
    QSignalSpy trace(&model, &VelmorDeviceModel::frameTraced);
    model.connectDevice();
    const CycleRun run = runCycle(model, 10000);
    QVERIFY(run.finished);
    QCOMPARE(run.errors.size(), 1);
    // MBAP header (7 bytes) + function code + address + count.
    const int frameBytes = 7 + 5;
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), expectedFrames * frameBytes, 5000);
    // Every try that went on the wire is traced, resends too.
    QCOMPARE(traceTexts(trace), QVector<QString>(expectedFrames, QStringLiteral("> 010300010001")).toList());
}

void TestLinkTuning::settersRefuseValuesOutOfRange()
{
    VelmorDeviceModel model(writeDescription("protocol: ModBUS TCP\n", "block: 10\ntimeout: 500\n", "[]\n"));
    QVERIFY(model.valid());
    QTest::ignoreMessage(QtWarningMsg, "(VelmorDeviceModel) Bad value of block setting: 126");
    model.setBlockRegisters(126);
    QTest::ignoreMessage(QtWarningMsg, "(VelmorDeviceModel) Bad value of timeout setting: 5");
    model.setResponseTimeoutMs(5);
    QCOMPARE(model.blockRegisters(), 10);
    QCOMPARE(model.responseTimeoutMs(), 500);

    QSignalSpy changed(&model, &VelmorDeviceModel::responseTimeoutMsChanged);
    model.setResponseTimeoutMs(0);
    QCOMPARE(model.responseTimeoutMs(), 0);
    QCOMPARE(changed.size(), 1);
}

void TestLinkTuning::velmorbusTraceIsTheWholeFrame()
{
    FakeVelmorController controller;
    QVERIFY(controller.peer().isOpen());
    QStringList answers;
    controller.setHandler([&answers](const FakeVelmorController::Request &request) {
        const QByteArray answer = request.cmd == VelmorBusPacket::CmdRead
                                      ? FakeVelmorController::readAnswer(request, QByteArray::fromHex("01020304"))
                                      : FakeVelmorController::writeAnswer(request);
        answers << QString::fromLatin1(answer.toHex().toUpper());
        return answer;
    });
    VelmorDeviceModel model(writeDescription("protocol: VelmorBUS RTU\nport: " + controller.portName().toUtf8()
                                                 + "\nbaudrate: 115200\n",
                                             QByteArray(), "  - addr: 0x10\n"));
    model.setInterQueryDelay(0);
    QSignalSpy trace(&model, &VelmorDeviceModel::frameTraced);
    model.connectDevice();
    QVERIFY(runCycle(model).finished);

    QSignalSpy stored(&model, &VelmorDeviceModel::storeToFlashComplete);
    model.storeToFlash();
    QVERIFY(runCycle(model).finished);
    QCOMPARE(stored.size(), 1);
    QCOMPARE(answers.size(), 3);

    // The read of 4 bytes at 0x10 and the flash store, both from device 1, as worked frames.
    QCOMPARE(traceTexts(trace), (QStringList{"> 0102100004007E0A", "< " + answers.at(0),
                                             "> 0104FD00040001000000DDA7", "< " + answers.at(1),
                                             "> 0102100004007E0A", "< " + answers.at(2)}));
}

void TestLinkTuning::modbusTraceIsUnitIdAndPdu()
{
    RecordingModbusServer server;
    QVERIFY(server.listen());
    server.setHoldingRegisters(40, {0x0102});
    server.setOverride([](const QModbusRequest &request) -> QModbusResponse {
        if (request.functionCode() == QModbusPdu::ReadInputRegisters)
            return QModbusExceptionResponse(request.functionCode(), QModbusExceptionResponse::IllegalDataAddress);
        return QModbusResponse();
    });
    VelmorDeviceModel model(writeDescription("protocol: ModBUS TCP\nhost: 127.0.0.1\nport: "
                                                 + QByteArray::number(server.port()) + "\n",
                                             QByteArray(),
                                             "  - addr: 40\n    type: int16\n    rw: true\n"
                                             "  - addr: 7\n    type: int16\n    input: true\n"));
    model.setInterQueryDelay(0);
    QSignalSpy trace(&model, &VelmorDeviceModel::frameTraced);
    model.connectDevice();
    QVERIFY(runCycle(model).finished);
    trace.clear();
    QVERIFY(model.setVarValue(0, -2));
    QVERIFY(runCycle(model).finished);

    QCOMPARE(traceTexts(trace), (QStringList{"> 01100028000102FFFE", "< 011000280001",
                                             "> 010300280001", "< 010302FFFE",
                                             "> 010400070001", "< 018402"}));
}

QTEST_GUILESS_MAIN(TestLinkTuning)
#include "tst_linktuning.moc"
