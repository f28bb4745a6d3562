#include "cyclerun.h"
#include "descriptiondir.h"
#include "logcapture.h"
#include "progresslog.h"
#include "recordingmodbusserver.h"
#include "velmordevicemodel.h"

#include <QModbusReply>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

enum class WrongAnswer {
    FewerRegisters,
    OtherFunctionCode,
    WriteAtOtherAddress,
    WriteOfOtherCount
};

} // namespace

Q_DECLARE_METATYPE(WrongAnswer)

// The model polling and writing a Modbus TCP server (Qt's own) over loopback.
class TestModbusTcpLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readLayout_data();
    void readLayout();
    void writeLayout_data();
    void writeLayout();
    void emptyVariableListFinishesWithoutReading();
    void linkWordOrderYieldsToTheVariables();
    void connectionClosedBetweenCyclesIsReportedAtOnce();
    void unknownTypeIsNoReading();
    void qualityThroughCycles();
    void cycleTimingCoversPauses();
    void autoUpdateRepeatsUntilSwitchedOff();
    void switchingOffWhileReadingDropsTheReply();
    void restartWhileReadingIgnoresTheOldReply();
    void commandIsSentBeforeNextRead();
    void equalCommandsAreQueuedOnce();
    void refusedInputWritesNothing();
    void flashStoreOnModbusSendsNothing();
    void queueSurvivesDisconnect();
    void exceptionIsReportedAndCycleGoesOn();
    void failedWriteIsReported();
    void answerToAnotherRequestIsRefused_data();
    void answerToAnotherRequestIsRefused();
    void badDescriptionIsReportedAndCycleGoesOn();
    void updateWithoutConnectionIsReported();
    void connectToNothingIsReported();
    void disconnectWhileAutoUpdating();
    void progressSignalsFollowTheCycle();
    void lateReplyOfStoppedCycleTellsNoProgress();

private:
    std::unique_ptr<VelmorDeviceModel> makeModel(const QByteArray &variables);
    bool connectModel(VelmorDeviceModel *model);
    // Connects and runs one cycle, so the TCP connection is up before timing matters.
    bool connectAndWarmUp(VelmorDeviceModel *model);
    static QByteArray pduData(const QModbusRequest &request);

    std::unique_ptr<DescriptionDir> m_dir;
    std::unique_ptr<RecordingModbusServer> m_server;
};

void TestModbusTcpLink::init()
{
    m_dir.reset(new DescriptionDir);
    m_server.reset(new RecordingModbusServer);
    QVERIFY(m_server->listen());
}

void TestModbusTcpLink::cleanup()
{
    m_server.reset();
    m_dir.reset();
}

std::unique_ptr<VelmorDeviceModel> TestModbusTcpLink::makeModel(const QByteArray &variables)
{
    const QByteArray text = "device: Test\nprotocol: ModBUS TCP\nhost: 127.0.0.1\nport: "
                            + QByteArray::number(m_server->port()) + "\nid: 1\nvariables:\n" + variables;
    auto model = std::make_unique<VelmorDeviceModel>(m_dir->write("device.yml", text));
    model->setInterQueryDelay(0);
    return model;
}

bool TestModbusTcpLink::connectModel(VelmorDeviceModel *model)
{
    model->connectDevice();
    return model->connected();
}

bool TestModbusTcpLink::connectAndWarmUp(VelmorDeviceModel *model)
{
    QSignalSpy finished(model, &VelmorDeviceModel::updateFinished);
    model->connectDevice();
    model->updateDeviceModel();
    const bool done = finished.wait(5000);
    m_server->clearRequests();
    return done;
}

QByteArray TestModbusTcpLink::pduData(const QModbusRequest &request)
{
    return request.data();
}

void TestModbusTcpLink::readLayout_data()
{
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<bool>("input");
    QTest::addColumn<QVector<quint16>>("registers");
    QTest::addColumn<int>("expectedCount");
    QTest::addColumn<QString>("expectedValue");

    QTest::newRow("int16 0xFFFF is -1") << QByteArray("type: int16") << false << QVector<quint16>{0xFFFF} << 1 << "-1";
    QTest::newRow("int16 bit field 0xFFFF is 65535")
        << QByteArray("type: int16\n    bitfield: true") << false << QVector<quint16>{0xFFFF} << 1 << "65535";
    QTest::newRow("float32 0x3F80 0x0000 is 1")
        << QByteArray("type: float32") << false << QVector<quint16>{0x3F80, 0x0000} << 2 << "1";
    QTest::newRow("float32 pi") << QByteArray("type: float32") << false << QVector<quint16>{0x4049, 0x0FDB} << 2
                                << "3.141593";
    QTest::newRow("int32 0xFFFF 0xFFFE is -2")
        << QByteArray("type: int32") << false << QVector<quint16>{0xFFFF, 0xFFFE} << 2 << "-2";
    QTest::newRow("int32 bit field 0xFFFF 0xFFFE is 4294967294")
        << QByteArray("type: int32\n    bitfield: yes") << false << QVector<quint16>{0xFFFF, 0xFFFE} << 2
        << "4294967294";
    QTest::newRow("untyped reads two registers, signed")
        << QByteArray("name: U") << false << QVector<quint16>{0x8000, 0x0001} << 2 << "-2147483647";
    QTest::newRow("input registers") << QByteArray("type: int16\n    input: true") << true
                                     << QVector<quint16>{0x0102} << 1 << "258";
    QTest::newRow("int32 CDAB, lower word first")
        << QByteArray("type: int32\n    wordorder: CDAB") << false << QVector<quint16>{0x5678, 0x1234} << 2
        << "305419896";
    QTest::newRow("int32 BADC, bytes of each register swapped")
        << QByteArray("type: int32\n    wordorder: BADC") << false << QVector<quint16>{0x3412, 0x7856} << 2
        << "305419896";
    QTest::newRow("int32 DCBA, all four bytes reversed")
        << QByteArray("type: int32\n    wordorder: DCBA") << false << QVector<quint16>{0x7856, 0x3412} << 2
        << "305419896";
    QTest::newRow("int32 legacy reads upper word first")
        << QByteArray("type: int32\n    wordorder: legacy") << false << QVector<quint16>{0x1234, 0x5678} << 2
        << "305419896";
    QTest::newRow("float32 CDAB 0x0000 0x3F80 is 1")
        << QByteArray("type: float32\n    wordorder: CDAB") << false << QVector<quint16>{0x0000, 0x3F80} << 2 << "1";
    QTest::newRow("int16 BADC swaps its two bytes")
        << QByteArray("type: int16\n    wordorder: BADC") << false << QVector<quint16>{0x3412} << 1 << "4660";
    QTest::newRow("int16 CDAB is one register as it stands")
        << QByteArray("type: int16\n    wordorder: CDAB") << false << QVector<quint16>{0x1234} << 1 << "4660";
    QTest::newRow("unknown type stores nothing")
        << QByteArray("type: int8\n    value: 7") << false << QVector<quint16>{0x0001, 0x0002} << 2 << "7";
}

void TestModbusTcpLink::readLayout()
{
    QFETCH(QByteArray, variable);
    QFETCH(bool, input);
    QFETCH(QVector<quint16>, registers);
    QFETCH(int, expectedCount);
    QFETCH(QString, expectedValue);

    const int addr = 40;
    if (input)
        m_server->setInputRegisters(addr, registers);
    else
        m_server->setHoldingRegisters(addr, registers);
    auto model = makeModel("  - addr: 40\n    " + variable + "\n");
    QVERIFY(connectModel(model.get()));
    const CycleRun run = runCycle(*model);
    QVERIFY(run.finished);

    QCOMPARE(m_server->requests().size(), 1);
    const QModbusRequest request = m_server->requests().first();
    QCOMPARE(int(request.functionCode()),
             int(input ? QModbusPdu::ReadInputRegisters : QModbusPdu::ReadHoldingRegisters));
    QCOMPARE(pduData(request).toHex(), QByteArray("0028000") + QByteArray::number(expectedCount));
    QCOMPARE(model->getVarAttr(0, "value").toString(), expectedValue);
    QCOMPARE(run.storedValues, 1);
}

void TestModbusTcpLink::writeLayout_data()
{
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QByteArray>("expectedData");

    QTest::newRow("int16 at 100, -2") << QByteArray("addr: 100\n    type: int16") << QVariant(-2)
                                     << QByteArray::fromHex("00640001 02 FFFE");
    QTest::newRow("int32 at 10, 0x12345678, upper word first as it is read")
        << QByteArray("addr: 10\n    type: int32") << QVariant(0x12345678) << QByteArray::fromHex("000A0002 04 1234 5678");
    QTest::newRow("int32 ABCD") << QByteArray("addr: 10\n    type: int32\n    wordorder: ABCD") << QVariant(0x12345678)
                                << QByteArray::fromHex("000A0002 04 1234 5678");
    QTest::newRow("int32 CDAB") << QByteArray("addr: 10\n    type: int32\n    wordorder: CDAB") << QVariant(0x12345678)
                                << QByteArray::fromHex("000A0002 04 5678 1234");
    QTest::newRow("int32 BADC") << QByteArray("addr: 10\n    type: int32\n    wordorder: BADC") << QVariant(0x12345678)
                                << QByteArray::fromHex("000A0002 04 3412 7856");
    QTest::newRow("int32 DCBA") << QByteArray("addr: 10\n    type: int32\n    wordorder: DCBA") << QVariant(0x12345678)
                                << QByteArray::fromHex("000A0002 04 7856 3412");
    QTest::newRow("int32 legacy writes lower word first")
        << QByteArray("addr: 10\n    type: int32\n    wordorder: legacy") << QVariant(70000)
        << QByteArray::fromHex("000A0002 04 1170 0001");
    QTest::newRow("int16 DCBA swaps its two bytes")
        << QByteArray("addr: 100\n    type: int16\n    wordorder: DCBA") << QVariant(-2)
        << QByteArray::fromHex("00640001 02 FEFF");
    QTest::newRow("float32 at 0, 1.0") << QByteArray("addr: 0\n    type: float32") << QVariant(1.0)
                                      << QByteArray::fromHex("00000002 04 3F80 0000");
    QTest::newRow("untyped at 0x10, -1") << QByteArray("addr: 0x10") << QVariant(-1)
                                        << QByteArray::fromHex("00100002 04 FFFF FFFF");
    QTest::newRow("int32 bit field with bit 31 keeps its bits")
        << QByteArray("addr: 5\n    type: int32\n    bitfield: true") << QVariant(4294967294u)
        << QByteArray::fromHex("00050002 04 FFFF FFFE");
}

void TestModbusTcpLink::writeLayout()
{
    QFETCH(QByteArray, variable);
    QFETCH(QVariant, value);
    QFETCH(QByteArray, expectedData);

    auto model = makeModel("  - name: V\n    rw: true\n    " + variable + "\n");
    QVERIFY(connectModel(model.get()));
    QVERIFY(model->setVarValue(0, value));
    QVERIFY(runCycle(*model).finished);

    QVERIFY(m_server->requests().size() >= 1);
    const QModbusRequest write = m_server->requests().first();
    QCOMPARE(int(write.functionCode()), int(QModbusPdu::WriteMultipleRegisters));
    QCOMPARE(pduData(write).toHex(), expectedData.toHex());
}

void TestModbusTcpLink::emptyVariableListFinishesWithoutReading()
{
    auto model = makeModel("  []\n");
    QVERIFY(connectModel(model.get()));
    QVERIFY(runCycle(*model).finished);
    QCOMPARE(m_server->requests().size(), 0);
}

void TestModbusTcpLink::qualityThroughCycles()
{
    using Model = VelmorDeviceModel;
    // Register 2 is refused; the third variable is never reached before the link goes.
    m_server->setOverride([](const QModbusRequest &request) -> QModbusResponse {
        if (request.data().startsWith(QByteArray::fromHex("0002")))
            return QModbusExceptionResponse(request.functionCode(), QModbusPdu::IllegalDataAddress);
        return QModbusResponse();
    });
    m_server->setHoldingRegisters(1, {7});
    auto model = makeModel("  - {addr: 1, type: int16, desc: Supply}\n"
                           "  - {addr: 2, type: int16}\n"
                           "  - {addr: 3, type: int16, value: 9}\n");
    QAbstractItemModelTester tester(model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    const auto qualities = [&model] {
        QList<int> row;
        for (int id = 0; id < model->varCount(); ++id)
            row << model->data(model->index(id, 2), Model::QualityRole).toInt();
        return row;
    };
    QCOMPARE(qualities(), (QList<int>{Model::QualityFromFile, Model::QualityFromFile, Model::QualityFromFile}));
    QVERIFY(connectModel(model.get()));
    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);

    QVERIFY(runCycle(*model).finished);
    QCOMPARE(qualities(), (QList<int>{Model::QualityGood, Model::QualityFailed, Model::QualityGood}));
    QCOMPARE(changed.first().at(0).value<QModelIndex>(), model->index(0, 2));
    QCOMPARE(changed.first().at(1).value<QModelIndex>(), model->index(0, 2));
    QCOMPARE(changed.last().at(0).value<QModelIndex>(), model->index(0, 2));
    QCOMPARE(changed.last().at(1).value<QModelIndex>(), model->index(2, 2));
    QVERIFY(model->varLastReadTime(0).isValid());
    QVERIFY(!model->varLastReadTime(1).isValid());
    QVERIFY(!model->varLastFailure(1).isEmpty());
    const QString tip = model->data(model->index(0, 1), Qt::ToolTipRole).toString();
    QVERIFY2(tip.startsWith(QStringLiteral("Supply\nПрочитано: ")), qPrintable(tip));
    QVERIFY(model->data(model->index(1, 2), Qt::ToolTipRole).toString().contains(model->varLastFailure(1)));
    QCOMPARE(model->data(model->index(0, 2), Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));

    model->disconnectDevice();
    QCOMPARE(qualities(), (QList<int>{Model::QualityStale, Model::QualityFailed, Model::QualityStale}));
}

void TestModbusTcpLink::unknownTypeIsNoReading()
{
    auto model = makeModel("  - {addr: 1, type: int8, value: 777}\n  - {addr: 2, type: int16}\n");
    QVERIFY(connectModel(model.get()));
    QSignalSpy read(model.get(), &VelmorDeviceModel::variableRead);
    QSignalSpy failed(model.get(), &VelmorDeviceModel::variableFailed);
    QVERIFY(runCycle(*model).finished);
    QCOMPARE(read.count(), 1);
    QCOMPARE(read.first().first().toInt(), 1);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().first().toInt(), 0);
    QCOMPARE(failed.first().at(1).toString(), QStringLiteral("type int8 is not known"));
}

void TestModbusTcpLink::connectionClosedBetweenCyclesIsReportedAtOnce()
{
    auto model = makeModel("  - addr: 1\n    type: int16\n");
    QVERIFY(connectAndWarmUp(model.get()));
    QSignalSpy lost(model.get(), &VelmorDeviceModel::connectionLost);
    QSignalSpy errors(model.get(), &VelmorDeviceModel::errorOccured);

    m_server->disconnectDevice();

    QVERIFY(lost.wait(5000));
    QVERIFY(signalTexts(lost).first().startsWith(QStringLiteral("Connection lost: ")));
    QCOMPARE(signalTexts(errors), signalTexts(lost));
    QVERIFY(!model->connected());
}

void TestModbusTcpLink::linkWordOrderYieldsToTheVariables()
{
    auto model = makeModel("  - {addr: 10, type: int32, rw: true}\n"
                           "  - {addr: 20, type: int32, rw: true, wordorder: ABCD}\n");
    model->setWordOrder(QStringLiteral("CDAB"));
    model->setBlockRegisters(20);
    model->setGapRegisters(8);
    m_server->setHoldingRegisters(10, QVector<quint16>(12, 0));
    QVERIFY(connectModel(model.get()));
    QVERIFY(model->setVarValue(0, 0x12345678));
    QVERIFY(model->setVarValue(1, 0x12345678));
    QVERIFY(runCycle(*model).finished);
    QCOMPARE(m_server->holdingRegister(10), quint16(0x5678));
    QCOMPARE(m_server->holdingRegister(20), quint16(0x1234));

    // One block read covers both, each variable taken in its own order.
    m_server->clearRequests();
    QVERIFY(runCycle(*model).finished);
    QCOMPARE(m_server->requests().size(), 1);
    QCOMPARE(model->getVarAttr(0, "value").toString(), QStringLiteral("305419896"));
    QCOMPARE(model->getVarAttr(1, "value").toString(), QStringLiteral("305419896"));
}

void TestModbusTcpLink::cycleTimingCoversPauses()
{
    auto model = makeModel("  - addr: 1\n  - addr: 3\n  - addr: 5\n");
    model->setInterQueryDelay(50);
    QVERIFY(connectModel(model.get()));
    const CycleRun run = runCycle(*model);
    QVERIFY(run.finished);
    QCOMPARE(m_server->requests().size(), 3);
    QVERIFY2(run.updateTimeMs >= 150, qPrintable(QString::number(run.updateTimeMs)));
}

void TestModbusTcpLink::autoUpdateRepeatsUntilSwitchedOff()
{
    auto model = makeModel("  - addr: 1\n  - addr: 3\n");
    model->setInterUpdateDelay(10);
    QVERIFY(connectModel(model.get()));
    QSignalSpy finished(model.get(), &VelmorDeviceModel::updateFinished);
    model->setAutoUpdate(true);
    model->updateDeviceModel();
    QTRY_VERIFY_WITH_TIMEOUT(finished.count() >= 3, 10000);
    model->setAutoUpdate(false);
    // The outstanding read and an already armed next cycle may still run; then all is quiet.
    QSignalSpy requests(m_server.get(), &RecordingModbusServer::requestReceived);
    while (requests.wait(500)) {
    }
    QVERIFY(requests.count() <= 2 + 1);
}

void TestModbusTcpLink::switchingOffWhileReadingDropsTheReply()
{
    m_server->setHoldingRegisters(1, {0x0000, 0x0009});
    auto model = makeModel("  - addr: 1\n");
    QVERIFY(connectAndWarmUp(model.get()));
    m_server->setHoldingRegisters(1, {0x0000, 0x000C});
    QSignalSpy finished(model.get(), &VelmorDeviceModel::updateFinished);
    QSignalSpy viewport(model.get(), &VelmorDeviceModel::updateViewport);
    model->setAutoUpdate(true);
    model->updateDeviceModel();
    model->setAutoUpdate(false);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->requests().size(), 1, 5000);
    QVERIFY(!finished.wait(300));
    QCOMPARE(model->getVarAttr(0, "value").toString(), QString("9"));
    QCOMPARE(viewport.count(), 0);
}

void TestModbusTcpLink::restartWhileReadingIgnoresTheOldReply()
{
    m_server->setHoldingRegisters(1, {0x0000, 0x0001});
    m_server->setHoldingRegisters(3, {0x0000, 0x0003});
    auto model = makeModel("  - addr: 1\n  - addr: 3\n");
    QVERIFY(connectAndWarmUp(model.get()));
    QSignalSpy finished(model.get(), &VelmorDeviceModel::updateFinished);
    model->setAutoUpdate(true);
    model->updateDeviceModel();
    model->setAutoUpdate(false);
    model->updateDeviceModel();
    QVERIFY(finished.wait(5000));
    QVERIFY(!finished.wait(300));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(m_server->requests().size(), 3);
    QCOMPARE(model->getVarAttr(0, "value").toString(), QString("1"));
    QCOMPARE(model->getVarAttr(1, "value").toString(), QString("3"));
}

void TestModbusTcpLink::commandIsSentBeforeNextRead()
{
    auto model = makeModel("  - addr: 1\n  - addr: 3\n    type: int16\n    rw: true\n");
    QVERIFY(connectModel(model.get()));
    model->setInterQueryDelay(100);
    QSignalSpy finished(model.get(), &VelmorDeviceModel::updateFinished);
    model->updateDeviceModel();
    QTRY_COMPARE_WITH_TIMEOUT(m_server->requests().size(), 1, 5000);
    QVERIFY(model->setVarValue(1, 7));
    QVERIFY(finished.wait(5000));
    const QList<QModbusRequest> requests = m_server->requests();
    QCOMPARE(requests.size(), 3);
    QCOMPARE(int(requests.at(1).functionCode()), int(QModbusPdu::WriteMultipleRegisters));
    QCOMPARE(int(requests.at(2).functionCode()), int(QModbusPdu::ReadHoldingRegisters));
    QCOMPARE(requests.at(2).data(), QByteArray::fromHex("00030001"));
    QCOMPARE(m_server->holdingRegister(3), quint16(7));
}

void TestModbusTcpLink::equalCommandsAreQueuedOnce()
{
    auto model = makeModel("  - addr: 1\n    type: int16\n  - addr: 2\n    type: int16\n"
                           "  - addr: 3\n    type: int16\n  - addr: 4\n    type: int16\n");
    QVERIFY(connectModel(model.get()));
    LogCapture log;
    QVERIFY(model->setVarValue(3, 5));
    QVERIFY(model->setVarValue(2, 9));
    QVERIFY(model->setVarValue(3, 7));
    QCOMPARE(log.count(QtDebugMsg, "Enqueue command 0 3"), 1);
    QCOMPARE(log.count(QtDebugMsg, "Enqueue command 0 2"), 1);
    QVERIFY(runCycle(*model).finished);
    const QList<QModbusRequest> requests = m_server->requests();
    QCOMPARE(requests.size(), 2 + 4);
    QCOMPARE(requests.at(0).data().toHex(), QByteArray("000400010200" "07"));
    QCOMPARE(requests.at(1).data().toHex(), QByteArray("000300010200" "09"));
}

void TestModbusTcpLink::refusedInputWritesNothing()
{
    auto model = makeModel("  - addr: 1\n    type: int16\n    value: 4\n");
    QVERIFY(connectModel(model.get()));
    QVERIFY(!model->setVarValue(0, QStringLiteral("abc")));
    QVERIFY(!model->setData(model->index(0, 2), QStringLiteral("abc"), Qt::EditRole));
    QVERIFY(runCycle(*model).finished);
    QCOMPARE(m_server->requests().size(), 1);
    QCOMPARE(int(m_server->requests().first().functionCode()), int(QModbusPdu::ReadHoldingRegisters));
}

void TestModbusTcpLink::flashStoreOnModbusSendsNothing()
{
    auto model = makeModel("  - addr: 1\n");
    LogCapture log;
    model->storeToFlash();
    QCOMPARE(log.count(QtDebugMsg, "Enqueue command 1 0"), 0);
    QVERIFY(connectModel(model.get()));
    model->storeToFlash();
    model->storeToFlash();
    QCOMPARE(log.count(QtDebugMsg, "Enqueue command 1 0"), 1);
    QSignalSpy stored(model.get(), &VelmorDeviceModel::storeToFlashComplete);
    const CycleRun run = runCycle(*model);
    QVERIFY(run.finished);
    QCOMPARE(log.count(QtDebugMsg, "Processing store configuration to FLASH"), 1);
    QCOMPARE(m_server->requests().size(), 1);
    QCOMPARE(stored.count(), 0);
    QCOMPARE(run.errors, QStringList());
}

void TestModbusTcpLink::queueSurvivesDisconnect()
{
    auto model = makeModel("  - addr: 1\n    type: int16\n  - addr: 2\n    type: int16\n");
    QVERIFY(connectModel(model.get()));
    QVERIFY(model->setVarValue(0, 11));
    QVERIFY(model->setVarValue(1, 12));
    model->disconnectDevice();
    QVERIFY(!model->connected());
    // At once, while the old socket may still be closing.
    QVERIFY(connectModel(model.get()));
    QVERIFY(runCycle(*model).finished);
    QCOMPARE(m_server->holdingRegister(1), quint16(11));
    QCOMPARE(m_server->holdingRegister(2), quint16(12));
}

void TestModbusTcpLink::exceptionIsReportedAndCycleGoesOn()
{
    m_server->setOverride([](const QModbusRequest &request) -> QModbusResponse {
        if (request.data().startsWith(QByteArray::fromHex("0001")))
            return QModbusExceptionResponse(request.functionCode(), QModbusPdu::IllegalDataAddress);
        return QModbusResponse();
    });
    m_server->setHoldingRegisters(2, {0, 42});
    auto model = makeModel("  - addr: 1\n    value: 3\n  - addr: 2\n");
    QVERIFY(connectModel(model.get()));
    LogCapture log;
    const CycleRun run = runCycle(*model);
    QVERIFY(run.finished);
    QCOMPARE(run.errors.size(), 1);
    QVERIFY(!run.errors.first().isEmpty());
    QCOMPARE(log.count(QtDebugMsg, run.errors.first() + " (2)"), 1);
    QCOMPARE(model->getVarAttr(0, "value").toString(), QString("3"));
    QCOMPARE(model->getVarAttr(1, "value").toString(), QString("42"));
}

void TestModbusTcpLink::failedWriteIsReported()
{
    m_server->setOverride([](const QModbusRequest &request) -> QModbusResponse {
        if (request.functionCode() == QModbusPdu::WriteMultipleRegisters)
            return QModbusExceptionResponse(request.functionCode(), QModbusPdu::ServerDeviceFailure);
        return QModbusResponse();
    });
    auto model = makeModel("  - addr: 1\n    type: int16\n    name: Setpoint\n  - addr: 2\n    type: int16\n");
    QVERIFY(connectModel(model.get()));
    QVERIFY(model->setVarValue(0, 3));
    QVERIFY(model->setVarValue(1, 4));
    const CycleRun run = runCycle(*model);
    QVERIFY(run.finished);
    QCOMPARE(run.errors.size(), 2);
    QVERIFY(run.errors.at(0).startsWith("Writing variable Setpoint failed: "));
    QVERIFY(run.errors.at(1).startsWith("Writing variable #1 failed: "));
    QCOMPARE(m_server->requests().size(), 4);
}

void TestModbusTcpLink::answerToAnotherRequestIsRefused_data()
{
    QTest::addColumn<WrongAnswer>("answer");
    QTest::addColumn<QString>("expectedError");

    QTest::newRow("one register for two") << WrongAnswer::FewerRegisters
                                          << "(Modbus) reply is for another register count (1)";
    QTest::newRow("holding registers answered as input registers")
        << WrongAnswer::OtherFunctionCode << "(Modbus) reply is for another function code (0x04)";
    QTest::newRow("write acknowledged at another address")
        << WrongAnswer::WriteAtOtherAddress << "Writing variable Level failed: (Modbus) reply is for another address (0xb)";
    QTest::newRow("write acknowledged for another register count")
        << WrongAnswer::WriteOfOtherCount << "Writing variable Level failed: (Modbus) reply is for another register count (1)";
}

void TestModbusTcpLink::answerToAnotherRequestIsRefused()
{
    QFETCH(WrongAnswer, answer);
    QFETCH(QString, expectedError);

    m_server->setHoldingRegisters(10, {0x0001, 0x0002});
    m_server->setOverride([answer](const QModbusRequest &request) -> QModbusResponse {
        switch (answer) {
        case WrongAnswer::FewerRegisters:
            if (request.functionCode() == QModbusPdu::ReadHoldingRegisters)
                return QModbusResponse(request.functionCode(), QByteArray::fromHex("020001"));
            break;
        case WrongAnswer::OtherFunctionCode:
            if (request.functionCode() == QModbusPdu::ReadHoldingRegisters)
                return QModbusResponse(QModbusPdu::ReadInputRegisters, QByteArray::fromHex("0400010002"));
            break;
        case WrongAnswer::WriteAtOtherAddress:
            if (request.functionCode() == QModbusPdu::WriteMultipleRegisters)
                return QModbusResponse(request.functionCode(), QByteArray::fromHex("000B0002"));
            break;
        case WrongAnswer::WriteOfOtherCount:
            if (request.functionCode() == QModbusPdu::WriteMultipleRegisters)
                return QModbusResponse(request.functionCode(), QByteArray::fromHex("000A0001"));
            break;
        }
        return QModbusResponse();
    });
    const bool writing = answer == WrongAnswer::WriteAtOtherAddress || answer == WrongAnswer::WriteOfOtherCount;
    auto model = makeModel("  - addr: 10\n    name: Level\n    type: int32\n    value: 7\n    rw: true\n");
    QVERIFY(connectModel(model.get()));
    if (writing)
        QVERIFY(model->setVarValue(0, 9));
    const CycleRun run = runCycle(*model);
    QVERIFY(run.finished);
    QCOMPARE(run.errors, QStringList {expectedError});
    QCOMPARE(model->getVarAttr(0, "value").toString(), writing ? QString::number(0x00010002) : QString("7"));
}

void TestModbusTcpLink::badDescriptionIsReportedAndCycleGoesOn()
{
    m_server->setHoldingRegisters(3, {0, 8});
    auto model = makeModel("  - name: NoAddr\n  - addr: 2\n    input: maybe\n  - addr: 3\n");
    QVERIFY(connectModel(model.get()));
    const CycleRun run = runCycle(*model);
    QVERIFY(run.finished);
    QCOMPARE(run.errors, (QStringList {"Unable to read variable NoAddr: bad description",
                                       "Unable to read variable #1: bad description"}));
    QCOMPARE(m_server->requests().size(), 1);
    QCOMPARE(model->getVarAttr(2, "value").toString(), QString("8"));
}

void TestModbusTcpLink::updateWithoutConnectionIsReported()
{
    auto model = makeModel("  - addr: 1\n");
    LogCapture log;
    const CycleRun run = runCycle(*model, 200);
    QVERIFY(!run.finished);
    QCOMPARE(run.errors, QStringList {"Update stopped: request could not be sent"});
    QCOMPARE(log.count(QtCriticalMsg, "MODBUS::reply is nullptr"), 1);
}

void TestModbusTcpLink::connectToNothingIsReported()
{
    const int port = m_server->port();
    m_server.reset();
    const QByteArray text = "protocol: ModBUS TCP\nport: " + QByteArray::number(port) + "\nvariables:\n  - addr: 1\n";
    VelmorDeviceModel model(m_dir->write("nothing.yml", text));
    QSignalSpy errors(&model, &VelmorDeviceModel::errorOccured);
    QSignalSpy reasons(&model, &VelmorDeviceModel::connectFailed);
    model.connectDevice();
    QTRY_VERIFY_WITH_TIMEOUT(!model.connected(), 10000);
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.first().first().toString(), QStringLiteral("Unable connect to 127.0.0.1:%1").arg(port));
    QCOMPARE(reasons.count(), 1);
    QVERIFY(!reasons.first().first().toString().isEmpty());
}

void TestModbusTcpLink::disconnectWhileAutoUpdating()
{
    auto model = makeModel("  - addr: 1\n");
    QVERIFY(connectModel(model.get()));
    model->setAutoUpdate(true);
    QSignalSpy autoChanged(model.get(), &VelmorDeviceModel::autoUpdateChanged);
    model->disconnectDevice();
    QCOMPARE(autoChanged.count(), 1);
    QVERIFY(!model->autoUpdate());
    QVERIFY(!model->connected());
}

void TestModbusTcpLink::progressSignalsFollowTheCycle()
{
    m_server->setOverride([](const QModbusRequest &request) -> QModbusResponse {
        const bool atOne = request.data().startsWith(QByteArray::fromHex("0001"));
        if (atOne || request.functionCode() == QModbusPdu::WriteMultipleRegisters)
            return QModbusExceptionResponse(request.functionCode(), QModbusPdu::IllegalDataAddress);
        return QModbusResponse();
    });
    m_server->setHoldingRegisters(2, {42});
    m_server->setHoldingRegisters(5, {7});
    auto model = makeModel("  - addr: 2\n    type: int16\n"
                           "  - addr: 1\n    type: int16\n"
                           "  - name: NoAddress\n"
                           "  - addr: 5\n    type: int16\n    name: Level\n");
    QVERIFY(connectModel(model.get()));
    QVERIFY(model->setVarValue(3, 9));
    ProgressLog progress(model.get());
    const CycleRun run = runCycle(*model);
    QVERIFY(run.finished);
    QCOMPARE(run.errors.size(), 3);
    const QString writeReason = run.errors.at(0).mid(QStringLiteral("Writing variable Level failed: ").size());
    QCOMPARE(progress.lines(), (QStringList{"write failed 3: " + writeReason, "read 0",
                                            "failed 1: " + run.errors.at(1), "failed 2: " + run.errors.at(2),
                                            "read 3"}));
    QCOMPARE(run.errors.at(2), QStringLiteral("Unable to read variable NoAddress: bad description"));
}

void TestModbusTcpLink::lateReplyOfStoppedCycleTellsNoProgress()
{
    m_server->setHoldingRegisters(1, {0x0000, 0x0009});
    auto model = makeModel("  - addr: 1\n");
    QVERIFY(connectAndWarmUp(model.get()));
    ProgressLog progress(model.get());
    model->setAutoUpdate(true);
    model->updateDeviceModel();
    model->setAutoUpdate(false);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->requests().size(), 1, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(model->findChildren<QModbusReply *>().isEmpty(), 5000);
    QCOMPARE(progress.lines(), QStringList{"abandoned: continuous update turned off"});
}

QTEST_GUILESS_MAIN(TestModbusTcpLink)
#include "tst_modbustcplink.moc"
