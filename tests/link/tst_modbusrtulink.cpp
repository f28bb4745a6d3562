#include "cyclerun.h"
#include "descriptiondir.h"
#include "logcapture.h"
#include "ptybridge.h"
#include "ptypeer.h"
#include "signaltexts.h"
#include "velmorbuspacket.h"
#include "velmordevicemodel.h"

#include <QModbusRtuSerialSlave>
#include <QSerialPort>
#include <QSignalSpy>
#include <QtTest>

#include <sys/resource.h>

#include <cerrno>

#include <memory>

namespace {

// CPU time of this process, user and system, in milliseconds.
qint64 processCpuMs()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

QByteArray withCrc(QByteArray adu)
{
    const quint16 crc = VelmorBusPacket::crc16(adu);
    adu.append(char(crc & 0xFF));
    adu.append(char(crc >> 8));
    return adu;
}

// A Modbus RTU server played by hand where its timing must be wrong on purpose: it
// answers every register read with registers that hold their own addresses, each answer
// after the delay its first register is given (none: at once).
class HandPlayedServer : public QObject
{
public:
    explicit HandPlayedServer(PtyPeer *peer)
        : m_peer(peer)
    {
        connect(peer, &PtyPeer::bytesReceived, this, &HandPlayedServer::onBytes);
    }

    void setAnswerDelayMs(quint16 firstRegister, int delayMs) { m_delaysMs.insert(firstRegister, delayMs); }
    // Answers the read of this register with these bytes instead.
    void setAnswer(quint16 firstRegister, const QByteArray &bytes) { m_answers.insert(firstRegister, bytes); }
    void answerProperly(quint16 firstRegister) { m_answers.remove(firstRegister); }

private:
    void onBytes(const QByteArray &bytes)
    {
        // Server address, function code, first register, count: big-endian, then the CRC.
        m_pending += bytes;
        while (m_pending.size() >= 8) {
            const QByteArray request = m_pending.left(8);
            m_pending.remove(0, 8);
            const quint16 first = quint16(quint8(request.at(2)) << 8 | quint8(request.at(3)));
            const int count = quint8(request.at(5));
            QByteArray answer = request.left(2) + char(2 * count);
            for (int i = 0; i < count; ++i)
                answer += char((first + i) >> 8) + QByteArray(1, char(first + i));
            answer = m_answers.value(first, withCrc(answer));
            QTimer::singleShot(m_delaysMs.value(first, 0), m_peer, [this, answer] { m_peer->write(answer); });
        }
    }

    PtyPeer *m_peer;
    QByteArray m_pending;
    QHash<quint16, int> m_delaysMs;
    QHash<quint16, QByteArray> m_answers;
};

} // namespace

// The model over Modbus RTU: Qt's own RTU slave at the far end of a pseudo-terminal pair,
// or a hand-played slave where the timing must be wrong on purpose.
class TestModbusRtuLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readsAndWritesEveryType_data();
    void readsAndWritesEveryType();
    void lateAnswerIsNeverStoredAsTheNextVariable_data();
    void lateAnswerIsNeverStoredAsTheNextVariable();
    void babblingLineNeverReachesTheClient_data();
    void babblingLineNeverReachesTheClient();
    void unpluggedAdapterIsReportedOnce_data();
    void unpluggedAdapterIsReportedOnce();
    void lineThatKeepsFailingIsLost_data();
    void lineThatKeepsFailingIsLost();
    void unopenablePortIsReported();
    void broadcastAddressIsRefused_data();
    void broadcastAddressIsRefused();

private:
    std::unique_ptr<VelmorDeviceModel> makeModel(const QString &port, const QByteArray &variables,
                                                 const QByteArray &keys = QByteArray());

    std::unique_ptr<DescriptionDir> m_dir;
};

void TestModbusRtuLink::init()
{
    m_dir.reset(new DescriptionDir);
}

void TestModbusRtuLink::cleanup()
{
    m_dir.reset();
}

std::unique_ptr<VelmorDeviceModel> TestModbusRtuLink::makeModel(const QString &port, const QByteArray &variables,
                                                                const QByteArray &keys)
{
    const QByteArray text = "device: Rtu\nprotocol: ModBUS RTU\nport: " + port.toUtf8()
                            + "\nbaudrate: 115200\nid: 1\n" + keys + "variables:\n" + variables;
    auto model = std::make_unique<VelmorDeviceModel>(m_dir->write("rtu.yml", text));
    model->setInterQueryDelay(0);
    return model;
}

void TestModbusRtuLink::readsAndWritesEveryType_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<QStringList>("sentFunctionCodes");

    QTest::newRow("one read per variable") << QByteArray() << QStringList{"10", "10", "04", "03", "03", "03"};
    // The holding registers 20 to 41 in one read, the unused ones between them thrown away.
    QTest::newRow("block reads") << QByteArray("block: 125\ngap: 8\ntimeout: 500\nretries: 1\n")
                                 << QStringList{"10", "10", "04", "03"};
}

void TestModbusRtuLink::readsAndWritesEveryType()
{
    QFETCH(QByteArray, keys);
    QFETCH(QStringList, sentFunctionCodes);

    PtyBridge bridge;
    QVERIFY(bridge.isOpen());
    QModbusRtuSerialSlave slave;
    QModbusDataUnitMap map;
    map.insert(QModbusDataUnit::HoldingRegisters, {QModbusDataUnit::HoldingRegisters, 0, 100});
    map.insert(QModbusDataUnit::InputRegisters, {QModbusDataUnit::InputRegisters, 0, 100});
    slave.setMap(map);
    slave.setServerAddress(1);
    slave.setConnectionParameter(QModbusDevice::SerialPortNameParameter, bridge.secondPort());
    slave.setConnectionParameter(QModbusDevice::SerialBaudRateParameter, QSerialPort::Baud115200);
    QVERIFY(slave.connectDevice());
    QVERIFY(slave.setData(QModbusDataUnit(QModbusDataUnit::InputRegisters, 10, QVector<quint16>{0xFFFE})));
    QVERIFY(slave.setData(QModbusDataUnit(QModbusDataUnit::HoldingRegisters, 20, {0x3F80, 0x0000})));

    auto model = makeModel(bridge.firstPort(),
                           "  - addr: 10\n    type: int16\n    input: true\n"
                           "  - addr: 20\n    type: float32\n"
                           "  - addr: 30\n    type: int32\n    rw: true\n"
                           "  - addr: 40\n    type: int16\n    rw: true\n",
                           keys);
    QSignalSpy trace(model.get(), &VelmorDeviceModel::frameTraced);
    model->connectDevice();
    QVERIFY(model->connected());
    QVERIFY(model->setVarValue(2, 0x12345678));
    QVERIFY(model->setVarValue(3, -3));
    const CycleRun run = runCycle(*model, 10000);
    QVERIFY(run.finished);
    QCOMPARE(run.errors, QStringList());
    QCOMPARE(model->getVarAttr(0, "value").toString(), QString("-2"));
    QCOMPARE(model->getVarAttr(1, "value").toString(), QString("1"));
    quint16 registers[3] = {};
    slave.data(QModbusDataUnit::HoldingRegisters, 30, &registers[0]);
    slave.data(QModbusDataUnit::HoldingRegisters, 31, &registers[1]);
    slave.data(QModbusDataUnit::HoldingRegisters, 40, &registers[2]);
    QCOMPARE(registers[0], quint16(0x1234));
    QCOMPARE(registers[1], quint16(0x5678));
    QCOMPARE(registers[2], quint16(0xFFFD));
    // Read back in the order it was written.
    QCOMPARE(model->getVarAttr(2, "value").toString(), QString::number(0x12345678));
    QCOMPARE(model->getVarAttr(3, "value").toString(), QString("-3"));
    QStringList sent;
    for (const QList<QVariant> &frame : trace) {
        if (frame.at(1).value<VelmorDeviceModel::TraceDirection>() == VelmorDeviceModel::Sent)
            sent << QString::fromLatin1(frame.at(2).toByteArray().mid(1, 1).toHex());
    }
    QCOMPARE(sent, sentFunctionCodes);
}

void TestModbusRtuLink::lateAnswerIsNeverStoredAsTheNextVariable_data()
{
    QTest::addColumn<QByteArray>("firstType");
    QTest::addColumn<int>("firstAnswerDelayMs");
    QTest::addColumn<QStringList>("expectedErrors");
    QTest::addColumn<QString>("expectedSecondValue");

    // The client gives up after 1000 ms; register 2 is answered after 500 ms.
    const QString timeout = QStringLiteral("Request timeout.");
    QTest::newRow("1.3 timeouts late") << QByteArray("int16") << 1300 << QStringList {timeout} << "2";
    QTest::newRow("2.1 timeouts late") << QByteArray("int16") << 2100 << QStringList {timeout} << "2";
    // Past the wait after a timeout the late answer reaches the next read, which refuses
    // it by its register count; the next read's own answer then comes too late itself.
    QTest::newRow("3.2 timeouts late, two registers for one")
        << QByteArray("int32") << 3200
        << QStringList {timeout, QStringLiteral("(Modbus) reply is for another register count (2)")} << "";
}

void TestModbusRtuLink::lateAnswerIsNeverStoredAsTheNextVariable()
{
    QFETCH(QByteArray, firstType);
    QFETCH(int, firstAnswerDelayMs);
    QFETCH(QStringList, expectedErrors);
    QFETCH(QString, expectedSecondValue);

    PtyPeer peer;
    QVERIFY(peer.isOpen());
    HandPlayedServer server(&peer);
    server.setAnswerDelayMs(1, firstAnswerDelayMs);
    server.setAnswerDelayMs(2, 500);
    auto model = makeModel(peer.slavePath(), "  - addr: 1\n    type: " + firstType + "\n  - addr: 2\n    type: int16\n");
    model->connectDevice();
    const CycleRun run = runCycle(*model, 20000);
    QVERIFY(run.finished);
    QCOMPARE(run.errors, expectedErrors);
    QVERIFY(!model->getVarAttr(0, "value").isValid());
    QCOMPARE(model->getVarAttr(1, "value").toString(), expectedSecondValue);
}

void TestModbusRtuLink::babblingLineNeverReachesTheClient_data()
{
    QTest::addColumn<bool>("insteadOfAnswer");

    QTest::newRow("between cycles") << false;
    QTest::newRow("instead of an answer") << true;
}

void TestModbusRtuLink::babblingLineNeverReachesTheClient()
{
    QFETCH(bool, insteadOfAnswer);

    const QByteArray babble(1 << 20, '\x55');
    PtyPeer peer;
    QVERIFY(peer.isOpen());
    HandPlayedServer server(&peer);
    auto model = makeModel(peer.slavePath(), "  - addr: 1\n    type: int16\n");
    model->connectDevice();
    QVERIFY(runCycle(*model).finished);
    auto *port = model->findChild<QSerialPort *>();
    QVERIFY(port);

    // Every read of the port hands what it got to the client's own buffer.
    QSignalSpy clientReads(port, &QSerialPort::readyRead);
    if (insteadOfAnswer) {
        server.setAnswer(1, babble);
        const CycleRun run = runCycle(*model, 20000);
        QVERIFY(run.finished);
        QCOMPARE(run.errors.size(), 1);
        // The largest answer, 256 bytes, takes one read or two.
        QVERIFY2(clientReads.count() <= 2, qPrintable(QString::number(clientReads.count())));
    } else {
        peer.write(babble);
        QTRY_VERIFY_WITH_TIMEOUT(!peer.outputPending(), 20000);
        QCOMPARE(clientReads.count(), 0);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!peer.outputPending(), 20000);

    // The line still works once it is quiet.
    server.answerProperly(1);
    const CycleRun run = runCycle(*model, 20000);
    QVERIFY(run.finished);
    QCOMPARE(run.errors, QStringList());
    QCOMPARE(run.storedValues, 1);
}

void TestModbusRtuLink::unpluggedAdapterIsReportedOnce_data()
{
    QTest::addColumn<bool>("betweenCycles");
    QTest::addColumn<int>("errorNumber");

    // Qt takes the kind of a failed read from errno, which the read of a hung-up line
    // leaves as it was: the same loss comes as a read error or as a resource error.
    QTest::newRow("while a read is outstanding, read error") << false << 0;
    QTest::newRow("between cycles, read error") << true << 0;
    QTest::newRow("between cycles, resource error") << true << EAGAIN;
}

void TestModbusRtuLink::unpluggedAdapterIsReportedOnce()
{
    QFETCH(bool, betweenCycles);
    QFETCH(int, errorNumber);

    PtyBridge bridge;
    auto model = makeModel(bridge.firstPort(), "  - addr: 1\n    type: int16\n");
    model->connectDevice();
    QVERIFY(model->connected());
    model->setInterUpdateDelay(betweenCycles ? 600000 : 1000);
    model->setAutoUpdate(true);
    QSignalSpy finished(model.get(), &VelmorDeviceModel::updateFinished);
    model->updateDeviceModel();
    // Nobody answers: the read of the first cycle times out.
    if (betweenCycles)
        QVERIFY(finished.wait(10000));
    QSignalSpy errors(model.get(), &VelmorDeviceModel::errorOccured);
    bridge.unplugFirst();
    errno = errorNumber;
    QTRY_VERIFY_WITH_TIMEOUT(!model->connected(), 10000);
    QVERIFY(!model->autoUpdate());
    const auto lostReports = [&errors] {
        int count = 0;
        for (const QList<QVariant> &args : errors)
            count += args.first().toString().startsWith(QStringLiteral("Connection lost: ")) ? 1 : 0;
        return count;
    };
    QCOMPARE(lostReports(), 1);

    // No busy loop on the dead line: the process stays nearly idle afterwards.
    const qint64 cpuBefore = processCpuMs();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(2000);
    const qint64 cpuPercent = 100 * (processCpuMs() - cpuBefore) / qMax<qint64>(1, wall.elapsed());
    QVERIFY2(cpuPercent < 10, qPrintable(QStringLiteral("CPU %1 %").arg(cpuPercent)));
    QCOMPARE(lostReports(), 1);
}

void TestModbusRtuLink::lineThatKeepsFailingIsLost_data()
{
    QTest::addColumn<int>("readErrors");
    QTest::addColumn<bool>("lost");

    // One failed read found its input flushed; a run of them would keep the loop busy.
    QTest::newRow("one read error") << 1 << false;
    QTest::newRow("a run of read errors") << 20 << true;
}

void TestModbusRtuLink::lineThatKeepsFailingIsLost()
{
    QFETCH(int, readErrors);
    QFETCH(bool, lost);

    PtyPeer peer;
    QVERIFY(peer.isOpen());
    auto model = makeModel(peer.slavePath(), "  - addr: 1\n    type: int16\n");
    model->connectDevice();
    auto *port = model->findChild<QSerialPort *>();
    QVERIFY(port);
    QSignalSpy errors(model.get(), &VelmorDeviceModel::errorOccured);
    for (int error = 0; error < readErrors && port->isOpen(); ++error)
        emit port->errorOccurred(QSerialPort::ReadError);
    QCOMPARE(model->connected(), !lost);
    QCOMPARE(signalTexts(errors), lost ? QStringList {"Connection lost: Read error."} : QStringList());
}

void TestModbusRtuLink::unopenablePortIsReported()
{
    auto model = makeModel(QStringLiteral("/nonexistent/ttyX"), "  - addr: 1\n");
    QSignalSpy errors(model.get(), &VelmorDeviceModel::errorOccured);
    QSignalSpy reasons(model.get(), &VelmorDeviceModel::connectFailed);
    model->connectDevice();
    QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, 5000);
    QCOMPARE(errors.first().first().toString(), QString("Unable open serial port /nonexistent/ttyX (baudrate: 115200)"));
    QVERIFY(!model->connected());
    QCOMPARE(signalTexts(reasons), QStringList {"No such file or directory"});
}

void TestModbusRtuLink::broadcastAddressIsRefused_data()
{
    QTest::addColumn<QByteArray>("idKey");
    QTest::addColumn<bool>("changedAfterConnect");

    QTest::newRow("id 0") << QByteArray("id: 0\n") << false;
    QTest::newRow("no id") << QByteArray() << false;
    QTest::newRow("id 248") << QByteArray("id: 248\n") << false;
    QTest::newRow("id set to 0 once connected") << QByteArray("id: 1\n") << true;
}

void TestModbusRtuLink::broadcastAddressIsRefused()
{
    QFETCH(QByteArray, idKey);
    QFETCH(bool, changedAfterConnect);

    PtyPeer peer;
    QVERIFY(peer.isOpen());
    const QByteArray text = "protocol: ModBUS RTU\nport: " + peer.slavePath().toUtf8() + "\nbaudrate: 115200\n" + idKey
                            + "variables:\n  - {addr: 1, type: int16, value: 5, rw: true}\n";
    VelmorDeviceModel model(m_dir->write("broadcast.yml", text));
    QVERIFY(model.valid());
    QSignalSpy errors(&model, &VelmorDeviceModel::errorOccured);
    QSignalSpy abandoned(&model, &VelmorDeviceModel::cycleAbandoned);
    QSignalSpy finished(&model, &VelmorDeviceModel::updateFinished);
    model.connectDevice();
    if (changedAfterConnect) {
        QVERIFY(model.connected());
        model.setDevId(0);
        QVERIFY(model.setVarValue(0, 7));
        model.updateDeviceModel();
        QCOMPARE(abandoned.count(), 1);
    } else {
        QVERIFY(!model.connected());
    }

    // Nothing goes out, so nothing comes back as if a device had answered.
    QVERIFY(!finished.wait(300));
    QCOMPARE(peer.received(), QByteArray());
    QCOMPARE(errors.count(), 1);
    QVERIFY2(errors.first().first().toString().contains(QStringLiteral("from 1 to 247")),
             qPrintable(errors.first().first().toString()));
    QCOMPARE(model.getVarAttr(0, "value").toString(), changedAfterConnect ? QStringLiteral("7") : QStringLiteral("5"));
}

QTEST_GUILESS_MAIN(TestModbusRtuLink)
#include "tst_modbusrtulink.moc"
