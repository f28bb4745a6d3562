#include "everytype.h"
#include "signaltexts.h"
#include "simulatedcontroller.h"
#include "velmordevicemodel.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

constexpr int DeviceId = 1;
// Generous: the simulator is another process on a loaded 2-core machine.
constexpr int WaitMs = 20000;
// The value column of the item model.
constexpr int ColumnValue = 2;

// Written by the model: 70000 = 0x00011170, -12.5 = 0xC1480000, 4386 = 0x1122. Counter
// is served by the simulator: 0x11223344.
enum Row {
    StartDelay,
    Gain,
    Mode,
    Counter
};

QVector<ControllerVariable> variables(const QByteArray &ownOrder)
{
    return {
        { "StartDelay", 0, "type: int32, rw: true" + ownOrder, "0" },
        { "Gain", 2, "type: float32, rw: true" + ownOrder, "0" },
        { "Mode", 4, "type: int16, rw: true" + ownOrder, "0" },
        { "Counter", 5, "type: int32" + ownOrder, "0x11223344" },
    };
}

} // namespace

// The device model writes and reads back values of velmor-sim in each Modbus word order;
// the simulator keeps its own register layouts, so the two agree only if both are right.
class TestE2eWordOrder : public QObject
{
    Q_OBJECT

private slots:
    void writesAndReadsBack_data();
    void writesAndReadsBack();
};

void TestE2eWordOrder::writesAndReadsBack_data()
{
    QTest::addColumn<QByteArray>("deviceOrder");
    QTest::addColumn<QByteArray>("ownOrder");
    QTest::addColumn<int>("block");
    // The registers of the write of StartDelay = 70000, as the simulator logs them.
    QTest::addColumn<QByteArray>("startDelayWrite");

    QTest::newRow("ABCD") << QByteArray("ABCD") << QByteArray() << 0 << QByteArray("00011170");
    QTest::newRow("CDAB") << QByteArray("CDAB") << QByteArray() << 0 << QByteArray("11700001");
    QTest::newRow("BADC") << QByteArray("BADC") << QByteArray() << 0 << QByteArray("01007011");
    QTest::newRow("DCBA") << QByteArray("DCBA") << QByteArray() << 0 << QByteArray("70110100");
    QTest::newRow("legacy writes the old frame, lower half into addr")
        << QByteArray("legacy") << QByteArray() << 0 << QByteArray("11700001");
    QTest::newRow("no key: ABCD, upper half into addr") << QByteArray() << QByteArray() << 0 << QByteArray("00011170");
    QTest::newRow("own legacy over the device's DCBA")
        << QByteArray("DCBA") << QByteArray("legacy") << 0 << QByteArray("11700001");
    QTest::newRow("DCBA, block reads") << QByteArray("DCBA") << QByteArray() << 125 << QByteArray("70110100");
    QTest::newRow("legacy, block reads") << QByteArray("legacy") << QByteArray() << 125 << QByteArray("11700001");
}

void TestE2eWordOrder::writesAndReadsBack()
{
    QFETCH(QByteArray, deviceOrder);
    QFETCH(QByteArray, ownOrder);
    QFETCH(int, block);
    QFETCH(QByteArray, startDelayWrite);

    SimulatedController controller;
    if (!deviceOrder.isEmpty())
        controller.setDeviceKeys("wordorder: " + deviceOrder + '\n');
    QVERIFY(controller.start("ModBUS TCP", DeviceId,
                             variables(ownOrder.isEmpty() ? QByteArray() : ", wordorder: " + ownOrder)));
    std::unique_ptr<VelmorDeviceModel> model = controller.connectedModel(block);
    QVERIFY(model);
    QSignalSpy finished(model.get(), &VelmorDeviceModel::updateFinished);
    QSignalSpy errors(model.get(), &VelmorDeviceModel::errorOccured);
    QVERIFY(model->setData(model->index(StartDelay, ColumnValue), 70000));
    QVERIFY(model->setData(model->index(Gain, ColumnValue), -12.5));
    QVERIFY(model->setData(model->index(Mode, ColumnValue), 4386));
    // The cycle sends the queued writes first, then reads every variable back.
    model->updateDeviceModel();
    QVERIFY(finished.wait(WaitMs));

    QCOMPARE(signalTexts(errors), QStringList());
    QCOMPARE(EveryType::heldTexts(*model), QStringList({ "70000", "-12.5", "4386", "287454020" }));
    // What the simulator took the writes for, by its own layouts.
    for (const QByteArray &line : { "write addr=0x0000 count=2 data=" + startDelayWrite + '\n',
                                    QByteArray("| ok StartDelay=70000\n"), QByteArray("| ok Gain=-12.5\n"),
                                    QByteArray("| ok Mode=4386\n") })
        QTRY_VERIFY2_WITH_TIMEOUT(controller.output().contains(line), line.constData(), WaitMs);
    if (block > 0)
        QVERIFY(controller.output().contains("read holding addr=0x0000 count=7\n"));
    QVERIFY(controller.stop());
}

QTEST_GUILESS_MAIN(TestE2eWordOrder)
#include "tst_e2ewordorder.moc"
