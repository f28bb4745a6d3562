#include "cyclerun.h"
#include "descriptiondir.h"
#include "logcapture.h"
#include "ptybridge.h"
#include "ptypeer.h"
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

} // namespace

// The model over Modbus RTU: Qt's own RTU slave at the far end of a pseudo-terminal pair,
// or a hand-played slave where the timing must be wrong on purpose.
class TestModbusRtuLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readsAndWritesEveryType();
    void lateAnswerIsNeverStoredAsTheNextVariable();
    void unpluggedAdapterIsReportedOnce_data();
    void unpluggedAdapterIsReportedOnce();
    void unopenablePortIsReported();

private:
    std::unique_ptr<VelmorDeviceModel> makeModel(const QString &port, const QByteArray &variables);

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

std::unique_ptr<VelmorDeviceModel> TestModbusRtuLink::makeModel(const QString &port, const QByteArray &variables)
{
    const QByteArray text = "device: Rtu\nprotocol: ModBUS RTU\nport: " + port.toUtf8()
                            + "\nbaudrate: 115200\nid: 1\nvariables:\n" + variables;
    auto model = std::make_unique<VelmorDeviceModel>(m_dir->write("rtu.yml", text));
    model->setInterQueryDelay(0);
    return model;
}

void TestModbusRtuLink::readsAndWritesEveryType()
{
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
                           "  - addr: 40\n    type: int16\n    rw: true\n");
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
    QCOMPARE(registers[0], quint16(0x5678));
    QCOMPARE(registers[1], quint16(0x1234));
    QCOMPARE(registers[2], quint16(0xFFFD));
    // Read back in the opposite word order, as controllers expect.
    QCOMPARE(model->getVarAttr(2, "value").toString(), QString::number(0x56781234));
    QCOMPARE(model->getVarAttr(3, "value").toString(), QString("-3"));
}

void TestModbusRtuLink::lateAnswerIsNeverStoredAsTheNextVariable()
{
    // The slave answers register 1 at 1.3 times the client's timeout of 1000 ms, and
    // register 2 after 500 ms, so the late answer arrives while register 2 is asked for.
    PtyPeer peer;
    QVERIFY(peer.isOpen());
    QByteArray pending;
    connect(&peer, &PtyPeer::bytesReceived, &peer, [&peer, &pending](const QByteArray &bytes) {
        pending += bytes;
        while (pending.size() >= 8) {
            const QByteArray request = pending.left(8);
            pending.remove(0, 8);
            const quint8 reg = quint8(request.at(3));
            const QByteArray answer = withCrc(QByteArray::fromHex("010302") + QByteArray::fromHex("00")
                                              + char(reg));
            QTimer::singleShot(reg == 1 ? 1300 : 500, &peer, [&peer, answer] { peer.write(answer); });
        }
    });
    auto model = makeModel(peer.slavePath(), "  - addr: 1\n    type: int16\n  - addr: 2\n    type: int16\n");
    model->connectDevice();
    const CycleRun run = runCycle(*model, 15000);
    QVERIFY(run.finished);
    QCOMPARE(run.errors.size(), 1);
    QVERIFY(!model->getVarAttr(0, "value").isValid());
    QCOMPARE(model->getVarAttr(1, "value").toString(), QString("2"));
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

void TestModbusRtuLink::unopenablePortIsReported()
{
    auto model = makeModel(QStringLiteral("/nonexistent/ttyX"), "  - addr: 1\n");
    QSignalSpy errors(model.get(), &VelmorDeviceModel::errorOccured);
    model->connectDevice();
    QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, 5000);
    QCOMPARE(errors.first().first().toString(), QString("Unable open serial port /nonexistent/ttyX (baudrate: 115200)"));
    QVERIFY(!model->connected());
}

QTEST_GUILESS_MAIN(TestModbusRtuLink)
#include "tst_modbusrtulink.moc"
