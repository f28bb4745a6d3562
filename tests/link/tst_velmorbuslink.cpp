#include "cyclerun.h"
#include "descriptiondir.h"
#include "fakevelmorcontroller.h"
#include "logcapture.h"
#include "velmorbusframe.h"
#include "velmordevicemodel.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

enum class ReadFault {
    BadStatus,
    ShortData,
    Silence
};

} // namespace

// The model polling and writing a Velmorbus controller played on a pseudo-terminal.
class TestVelmorbusLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readRequestBytes();
    void readLayout_data();
    void readLayout();
    void writePacket_data();
    void writePacket();
    void failedReadIsReportedAndCycleGoesOn_data();
    void failedReadIsReportedAndCycleGoesOn();
    void failedWriteIsReported_data();
    void failedWriteIsReported();
    void flashStore_data();
    void flashStore();
    void lateReadAnswerIsNotTakenForTheFlashStore();
    void editWhileItsReadIsOnTheWireIsWritten();
    void restartWhileReadingIsRefusedAndReported();
    void lateAnswerIsNotTakenForTheNextVariable();
    void connectFailureNamesPortAndBaudRate();
    void tcpProtocolIsRefused();
    void unknownProtocolNeverConnects();
    void unpluggedAdapterIsReportedOnce();

private:
    std::unique_ptr<VelmorDeviceModel> makeModel(const QByteArray &variables, const QString &port = QString());

    std::unique_ptr<DescriptionDir> m_dir;
    std::unique_ptr<FakeVelmorController> m_controller;
};

void TestVelmorbusLink::init()
{
    m_dir.reset(new DescriptionDir);
    m_controller.reset(new FakeVelmorController);
    QVERIFY(m_controller->peer().isOpen());
}

void TestVelmorbusLink::cleanup()
{
    m_controller.reset();
    m_dir.reset();
}

std::unique_ptr<VelmorDeviceModel> TestVelmorbusLink::makeModel(const QByteArray &variables, const QString &port)
{
    const QString portName = port.isEmpty() ? m_controller->portName() : port;
    const QByteArray text = "device: Test\nprotocol: VelmorBUS RTU\nport: " + portName.toUtf8()
                            + "\nbaudrate: 115200\nid: 1\nvariables:\n" + variables;
    auto model = std::make_unique<VelmorDeviceModel>(m_dir->write("device.yml", text));
    model->setInterQueryDelay(0);
    return model;
}

void TestVelmorbusLink::readRequestBytes()
{
    auto model = makeModel("  - addr: 0x10\n");
    model->connectDevice();
    QVERIFY(model->connected());
    QVERIFY(runCycle(*model).finished);
    QCOMPARE(m_controller->requests().size(), 1);
    QCOMPARE(m_controller->requests().first().frame.toHex(' '), QByteArray("01 02 10 00 04 00 7e 0a"));
}

void TestVelmorbusLink::readLayout_data()
{
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("expectedValue");

    QTest::newRow("int16 takes bytes 2 and 3") << QByteArray("type: int16") << QByteArray::fromHex("01020304")
                                               << "1027";
    QTest::newRow("int16 negative") << QByteArray("type: int16") << QByteArray::fromHex("0000FEFF") << "-2";
    QTest::newRow("int16 bit field") << QByteArray("type: int16\n    bitfield: true")
                                     << QByteArray::fromHex("0000FEFF") << "65534";
    QTest::newRow("int32 -1") << QByteArray("type: int32") << QByteArray::fromHex("FFFFFFFF") << "-1";
    QTest::newRow("int32 bit field") << QByteArray("type: int32\n    bitfield: on")
                                     << QByteArray::fromHex("FFFFFFFF") << "4294967295";
    QTest::newRow("float32 1.0") << QByteArray("type: float32") << QByteArray::fromHex("0000803F") << "1";
    QTest::newRow("float32 0.1") << QByteArray("type: float32") << QByteArray::fromHex("CDCCCC3D") << "0.1";
    QTest::newRow("untyped little-endian") << QByteArray("name: U") << QByteArray::fromHex("78563412")
                                           << "305419896";
}

void TestVelmorbusLink::readLayout()
{
    QFETCH(QByteArray, variable);
    QFETCH(QByteArray, data);
    QFETCH(QString, expectedValue);

    m_controller->setHandler([data](const FakeVelmorController::Request &request) {
        return FakeVelmorController::readAnswer(request, data);
    });
    auto model = makeModel("  - addr: 32\n    " + variable + "\n");
    model->connectDevice();
    const CycleRun run = runCycle(*model);
    QVERIFY(run.finished);
    QCOMPARE(model->getVarAttr(0, "value").toString(), expectedValue);
    QCOMPARE(run.storedValues, 1);
}

void TestVelmorbusLink::writePacket_data()
{
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QByteArray>("expectedBody");

    QTest::newRow("int32 at 32, -1") << QByteArray("type: int32") << QVariant(-1)
                                     << QByteArray::fromHex("04 2000 0400 FFFFFFFF");
    QTest::newRow("int16 at 32, -2") << QByteArray("type: int16") << QVariant(-2)
                                     << QByteArray::fromHex("04 2000 0400 FEFFFFFF");
    QTest::newRow("float32 at 32, 1.0") << QByteArray("type: float32") << QVariant(1.0f)
                                        << QByteArray::fromHex("04 2000 0400 0000803F");
    QTest::newRow("bit field with bit 31") << QByteArray("type: int32\n    bitfield: true") << QVariant(4294967294u)
                                           << QByteArray::fromHex("04 2000 0400 FEFFFFFF");
}

void TestVelmorbusLink::writePacket()
{
    QFETCH(QByteArray, variable);
    QFETCH(QVariant, value);
    QFETCH(QByteArray, expectedBody);

    auto model = makeModel("  - addr: 32\n    rw: true\n    " + variable + "\n");
    model->connectDevice();
    QVERIFY(model->setVarValue(0, value));
    QVERIFY(runCycle(*model).finished);
    QCOMPARE(m_controller->requests().size(), 2);
    QCOMPARE(m_controller->requests().first().frame.toHex(' '), VelmorbusFrame::build(1, expectedBody).toHex(' '));
}

void TestVelmorbusLink::failedReadIsReportedAndCycleGoesOn_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("expectedError");
    QTest::addColumn<int>("minimumCycleMs");

    QTest::newRow("status 0x20") << int(ReadFault::BadStatus) << "(Velmorbus) reply status is not ok (0x20)" << 0;
    QTest::newRow("data holds no 32-bit value") << int(ReadFault::ShortData) << "(Velmorbus) reply carries no value" << 0;
    QTest::newRow("silent controller") << int(ReadFault::Silence) << "Timeout" << 150;
}

void TestVelmorbusLink::failedReadIsReportedAndCycleGoesOn()
{
    QFETCH(int, fault);
    QFETCH(QString, expectedError);
    QFETCH(int, minimumCycleMs);

    m_controller->setHandler([fault](const FakeVelmorController::Request &request) {
        if (request.addr != 1)
            return FakeVelmorController::readAnswer(request, QByteArray::fromHex("05000000"));
        switch (ReadFault(fault)) {
        case ReadFault::BadStatus:
            return FakeVelmorController::readAnswer(request, QByteArray(), 0x20);
        case ReadFault::ShortData:
            return FakeVelmorController::readAnswer(request, QByteArray::fromHex("010203"));
        case ReadFault::Silence:
            break;
        }
        return QByteArray();
    });
    auto model = makeModel("  - addr: 1\n    value: 3\n  - addr: 2\n");
    model->connectDevice();
    LogCapture log;
    const CycleRun run = runCycle(*model);
    QVERIFY(run.finished);
    QCOMPARE(run.errors, QStringList {expectedError});
    QCOMPARE(log.count(QtDebugMsg, expectedError), 1);
    QVERIFY(run.updateTimeMs >= minimumCycleMs);
    QCOMPARE(model->getVarAttr(0, "value").toString(), QString("3"));
    QCOMPARE(model->getVarAttr(1, "value").toString(), QString("5"));
}

void TestVelmorbusLink::failedWriteIsReported_data()
{
    QTest::addColumn<bool>("otherAddress");
    QTest::addColumn<QString>("expectedReason");

    QTest::newRow("status 0x20") << false << "(Velmorbus) reply status is not ok (0x20)";
    QTest::newRow("acknowledged for another address") << true << "(Velmorbus) reply is for another address (0x2)";
}

void TestVelmorbusLink::failedWriteIsReported()
{
    QFETCH(bool, otherAddress);
    QFETCH(QString, expectedReason);

    m_controller->setHandler([otherAddress](FakeVelmorController::Request request) {
        if (request.cmd != VelmorBusPacket::CmdWrite)
            return FakeVelmorController::readAnswer(request, QByteArray(4, '\0'));
        if (!otherAddress)
            return FakeVelmorController::writeAnswer(request, 0x20);
        ++request.addr;
        return FakeVelmorController::writeAnswer(request);
    });
    auto model = makeModel("  - addr: 1\n    name: Mode\n    type: int16\n");
    model->connectDevice();
    QVERIFY(model->setVarValue(0, 2));
    LogCapture log;
    const CycleRun run = runCycle(*model);
    QVERIFY(run.finished);
    QCOMPARE(run.errors, QStringList {"Writing variable Mode failed: " + expectedReason});
    QCOMPARE(log.count(QtDebugMsg, "Processing store variable Mode"), 1);
    QCOMPARE(log.count(QtDebugMsg, "VELMOR::data update error: " + expectedReason), 1);
}

void TestVelmorbusLink::flashStore_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("stored");

    QTest::newRow("confirmed with 0x10") << 0x10 << true;
    QTest::newRow("refused with 0x20") << 0x20 << false;
}

void TestVelmorbusLink::flashStore()
{
    QFETCH(int, status);
    QFETCH(bool, stored);

    m_controller->setHandler([status](const FakeVelmorController::Request &request) {
        if (request.cmd == VelmorBusPacket::CmdWrite)
            return FakeVelmorController::writeAnswer(request, status);
        return FakeVelmorController::readAnswer(request, QByteArray(4, '\0'));
    });
    auto model = makeModel("  - addr: 1\n");
    model->connectDevice();
    model->storeToFlash();
    LogCapture log;
    QSignalSpy complete(model.get(), &VelmorDeviceModel::storeToFlashComplete);
    const CycleRun run = runCycle(*model);
    QVERIFY(run.finished);
    QCOMPARE(m_controller->requests().first().frame.toHex(' '),
             QByteArray("01 04 fd 00 04 00 01 00 00 00 dd a7"));
    QCOMPARE(complete.count(), stored ? 1 : 0);
    QCOMPARE(run.errors, stored ? QStringList() : QStringList {"Saving to FLASH failed"});
    QCOMPARE(log.count(QtDebugMsg, "Configuration stored to FLASH"), stored ? 1 : 0);
}

void TestVelmorbusLink::lateReadAnswerIsNotTakenForTheFlashStore()
{
    // The read is answered 100 ms after the master gave up on it, while the flash store
    // queued meanwhile is outstanding; the controller never answers the store itself.
    m_controller->setHandler([this](const FakeVelmorController::Request &request) {
        if (request.cmd == VelmorBusPacket::CmdRead) {
            const QByteArray answer = FakeVelmorController::readAnswer(request, QByteArray(4, '\0'));
            QTimer::singleShot(300, m_controller.get(), [this, answer] { m_controller->peer().write(answer); });
        }
        return QByteArray();
    });
    auto model = makeModel("  - addr: 1\n");
    model->connectDevice();
    connect(m_controller.get(), &FakeVelmorController::requestReceived, model.get(), [this, &model] {
        if (m_controller->requests().size() == 1)
            model->storeToFlash();
    });
    QSignalSpy complete(model.get(), &VelmorDeviceModel::storeToFlashComplete);
    const CycleRun run = runCycle(*model);
    QVERIFY(run.finished);
    QCOMPARE(m_controller->requests().size(), 2);
    QCOMPARE(complete.count(), 0);
    QCOMPARE(run.errors, (QStringList {"Timeout", "Saving to FLASH failed"}));
}

void TestVelmorbusLink::editWhileItsReadIsOnTheWireIsWritten()
{
    // A controller holding 0 that answers each read 150 ms late, well within the timeout.
    QByteArray held(4, '\0');
    m_controller->setAnswerDelayMs(150);
    m_controller->setHandler([&held](const FakeVelmorController::Request &request) {
        if (request.cmd == VelmorBusPacket::CmdWrite) {
            held = request.data;
            return FakeVelmorController::writeAnswer(request);
        }
        return FakeVelmorController::readAnswer(request, held);
    });
    auto model = makeModel("  - {name: Setpoint, addr: 1, type: int32, rw: true}\n");
    model->connectDevice();
    bool edited = false;
    connect(m_controller.get(), &FakeVelmorController::requestReceived, model.get(), [this, &model, &edited] {
        if (m_controller->requests().size() == 1)
            edited = model->setVarValue(0, 42);
    });
    QSignalSpy writeFailures(model.get(), &VelmorDeviceModel::writeFailed);

    QVERIFY(runCycle(*model).finished);
    QVERIFY(edited);
    QCOMPARE(model->getVarAttr(0, "value").toString(), QStringLiteral("42"));
    QVERIFY(runCycle(*model).finished);

    const QList<FakeVelmorController::Request> requests = m_controller->requests();
    QCOMPARE(requests.size(), 3);
    QCOMPARE(requests.at(1).cmd, int(VelmorBusPacket::CmdWrite));
    QCOMPARE(requests.at(1).data.toHex(), QByteArray("2a000000"));
    QCOMPARE(writeFailures.count(), 0);
    QCOMPARE(model->getVarAttr(0, "value").toString(), QStringLiteral("42"));
}

void TestVelmorbusLink::restartWhileReadingIsRefusedAndReported()
{
    m_controller->setAnswerDelayMs(100);
    auto model = makeModel("  - addr: 1\n  - addr: 2\n");
    model->connectDevice();
    LogCapture log;
    QSignalSpy finished(model.get(), &VelmorDeviceModel::updateFinished);
    QSignalSpy errors(model.get(), &VelmorDeviceModel::errorOccured);
    model->setAutoUpdate(true);
    model->updateDeviceModel();
    model->setAutoUpdate(false);
    model->updateDeviceModel();
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.first().first().toString(), QString("Update stopped: request could not be sent"));
    QCOMPARE(log.count(QtCriticalMsg, "MODBUS::reply is nullptr"), 1);
    QVERIFY(!finished.wait(500));
    QCOMPARE(m_controller->requests().size(), 1);
}

void TestVelmorbusLink::lateAnswerIsNotTakenForTheNextVariable()
{
    // Variable 1 is answered after the master gave up on it, while the read of
    // variable 2 is outstanding; its bytes must not become variable 2's value.
    m_controller->setHandler([this](const FakeVelmorController::Request &request) {
        const QByteArray answer =
            FakeVelmorController::readAnswer(request, QByteArray(1, char(request.addr)) + QByteArray(3, '\0'));
        const int delayMs = request.addr == 1 ? 300 : 180;
        QTimer::singleShot(delayMs, m_controller.get(), [this, answer] { m_controller->peer().write(answer); });
        return QByteArray();
    });
    auto model = makeModel("  - addr: 1\n  - addr: 2\n    value: 9\n");
    model->connectDevice();
    const CycleRun run = runCycle(*model);
    QVERIFY(run.finished);
    QCOMPARE(run.errors, (QStringList {"Timeout", "(Velmorbus) reply is for another address (0x1)"}));
    QCOMPARE(model->getVarAttr(1, "value").toString(), QString("9"));
}

void TestVelmorbusLink::connectFailureNamesPortAndBaudRate()
{
    auto model = makeModel("  - addr: 1\n", QStringLiteral("/nonexistent/tty"));
    QSignalSpy errors(model.get(), &VelmorDeviceModel::errorOccured);
    model->connectDevice();
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.first().first().toString(), QString("Unable open serial port /nonexistent/tty (baudrate: 115200)"));
    QVERIFY(!model->connected());
}

void TestVelmorbusLink::tcpProtocolIsRefused()
{
    VelmorDeviceModel model(m_dir->write("tcp.yml", "protocol: VelmorBUS TCP\nvariables: []\n"));
    QCOMPARE(model.devProto(), 1);
    LogCapture log;
    QSignalSpy errors(&model, &VelmorDeviceModel::errorOccured);
    model.connectDevice();
    model.updateDeviceModel();
    QCOMPARE(log.count(QtCriticalMsg, "VELMOR::VelmorBUS TCP proto not suported yet"), 1);
    QCOMPARE(errors.count(), 0);
    QVERIFY(!model.connected());
}

void TestVelmorbusLink::unknownProtocolNeverConnects()
{
    LogCapture log;
    VelmorDeviceModel model(m_dir->write("ascii.yml", "protocol: ModBUS ASCII\nvariables: []\n"));
    QSignalSpy errors(&model, &VelmorDeviceModel::errorOccured);
    model.connectDevice();
    model.updateDeviceModel();
    QVERIFY(!model.connected());
    QCOMPARE(signalTexts(errors), QStringList {"Unable to connect: the description names no known protocol"});
}

void TestVelmorbusLink::unpluggedAdapterIsReportedOnce()
{
    auto model = makeModel("  - addr: 1\n");
    model->connectDevice();
    model->setAutoUpdate(true);
    model->updateDeviceModel();
    QSignalSpy errors(model.get(), &VelmorDeviceModel::errorOccured);
    QTRY_VERIFY_WITH_TIMEOUT(m_controller->requests().size() >= 1, 5000);
    m_controller->peer().closeMaster();
    QTRY_VERIFY_WITH_TIMEOUT(!model->connected(), 10000);
    QVERIFY(!model->autoUpdate());
    QVERIFY(errors.count() >= 1);
    QCOMPARE(errors.first().first().toString(),
             QStringLiteral("Connection lost: serial port %1 failed").arg(m_controller->portName()));
    QVERIFY(!errors.wait(500));
}

QTEST_GUILESS_MAIN(TestVelmorbusLink)
#include "tst_velmorbuslink.moc"
