#include "everytype.h"
#include "signaltexts.h"
#include "simulatedcontroller.h"
#include "velmordevicemodel.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

constexpr int DeviceId = 33;
// Generous: the simulator is another process on a loaded 2-core machine.
constexpr int WaitMs = 20000;
// The value column of the item model.
constexpr int ColumnValue = 2;

} // namespace

// The device model reads, writes and stores a controller played by velmor-sim, over each
// protocol, as the device tool does.
class TestE2ePolling : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void pollsEveryType_data();
    void pollsEveryType();
    void writesEveryWritableType_data();
    void writesEveryWritableType();
    void continuousUpdateKeepsWrittenValue_data();
    void continuousUpdateKeepsWrittenValue();
    void storesToFlashOverVelmorbus();

private:
    bool connectModel(const QByteArray &protocol, int blockRegisters = 0);

    std::unique_ptr<SimulatedController> m_controller;
    std::unique_ptr<VelmorDeviceModel> m_model;
};

void TestE2ePolling::cleanup()
{
    // The link is closed before the controller goes, as when the user disconnects first.
    m_model.reset();
    if (m_controller)
        QVERIFY2(m_controller->stop(), "velmor-sim did not end on SIGTERM");
    m_controller.reset();
}

bool TestE2ePolling::connectModel(const QByteArray &protocol, int blockRegisters)
{
    m_controller = std::make_unique<SimulatedController>();
    if (!m_controller->start(protocol, DeviceId, EveryType::variables(protocol)))
        return false;
    m_model = m_controller->connectedModel(blockRegisters);
    return m_model != nullptr;
}

void TestE2ePolling::pollsEveryType_data()
{
    QTest::addColumn<QByteArray>("protocol");
    QTest::addColumn<int>("block");
    // A line of the simulator's log that a block read of the first ten holding registers
    // leaves; empty for one read per variable.
    QTest::addColumn<QByteArray>("blockRead");

    for (const QByteArray &protocol : EveryType::protocols())
        QTest::newRow(protocol.constData()) << protocol << 0 << QByteArray();
    const QByteArray firstTen = "read holding addr=0x0000 count=10";
    QTest::newRow("ModBUS TCP, block 125") << QByteArray("ModBUS TCP") << 125 << firstTen;
    QTest::newRow("ModBUS RTU, block 125") << QByteArray("ModBUS RTU") << 125 << firstTen;
}

void TestE2ePolling::pollsEveryType()
{
    QFETCH(QByteArray, protocol);
    QFETCH(int, block);
    QFETCH(QByteArray, blockRead);

    QVERIFY(connectModel(protocol, block));
    QSignalSpy finished(m_model.get(), &VelmorDeviceModel::updateFinished);
    QSignalSpy errors(m_model.get(), &VelmorDeviceModel::errorOccured);
    QSignalSpy viewport(m_model.get(), &VelmorDeviceModel::updateViewport);
    m_model->updateDeviceModel();
    QVERIFY(finished.wait(WaitMs));

    QCOMPARE(signalTexts(errors), QStringList());
    QCOMPARE(EveryType::heldTexts(*m_model), EveryType::heldTexts(protocol));
    QCOMPARE(viewport.count(), m_model->varCount());
    QCOMPARE(finished.count(), 1);
    if (!blockRead.isEmpty())
        QTRY_VERIFY_WITH_TIMEOUT(m_controller->output().contains(blockRead), WaitMs);
}

void TestE2ePolling::writesEveryWritableType_data()
{
    QTest::addColumn<QByteArray>("protocol");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QVariant>("written");
    QTest::addColumn<QString>("heldText");

    for (const QByteArray &protocol : EveryType::protocols()) {
        const auto row = [&protocol](const char *what) -> QTestData & {
            return QTest::addRow("%s %s", protocol.constData(), what) << protocol;
        };
        row("int16 -2") << QByteArray("W16") << QVariant(-2) << "-2";
        row("int32 -123456789") << QByteArray("W32") << QVariant(-123456789) << "-123456789";
        row("float32 22.5") << QByteArray("WF32") << QVariant(22.5) << "22.5";
        row("float32 -0.1 keeps 7 digits") << QByteArray("WF32") << QVariant(-0.1) << "-0.1";
        row("untyped 99999") << QByteArray("WRAW") << QVariant(99999) << "99999";
        row("int16 bit field 0x8005") << QByteArray("WB16") << QVariant(0x8005) << "32773";
        row("int32 bit field 0x40000021") << QByteArray("WB32") << QVariant(0x40000021) << "1073741857";
    }
}

void TestE2ePolling::writesEveryWritableType()
{
    QFETCH(QByteArray, protocol);
    QFETCH(QByteArray, name);
    QFETCH(QVariant, written);
    QFETCH(QString, heldText);

    QVERIFY(connectModel(protocol));
    const int row = EveryType::row(protocol, name);
    QSignalSpy finished(m_model.get(), &VelmorDeviceModel::updateFinished);
    QSignalSpy errors(m_model.get(), &VelmorDeviceModel::errorOccured);
    QVERIFY(m_model->setData(m_model->index(row, ColumnValue), written));
    // The cycle sends the queued write first, then reads every variable: the value held
    // afterwards is the one the controller gave back.
    m_model->updateDeviceModel();
    QVERIFY(finished.wait(WaitMs));

    QCOMPARE(signalTexts(errors), QStringList());
    QStringList expected = EveryType::heldTexts(protocol);
    expected[row] = heldText;
    QCOMPARE(EveryType::heldTexts(*m_model), expected);
}

void TestE2ePolling::continuousUpdateKeepsWrittenValue_data()
{
    pollsEveryType_data();
}

void TestE2ePolling::continuousUpdateKeepsWrittenValue()
{
    QFETCH(QByteArray, protocol);

    QVERIFY(connectModel(protocol));
    const int row = EveryType::row(protocol, "WF32");
    QSignalSpy finished(m_model.get(), &VelmorDeviceModel::updateFinished);
    QSignalSpy errors(m_model.get(), &VelmorDeviceModel::errorOccured);
    m_model->setAutoUpdate(true);
    m_model->updateDeviceModel();
    QVERIFY(finished.wait(WaitMs));

    // An edit while the cycles run, as the user makes it in the table.
    QVERIFY(m_model->setData(m_model->index(row, ColumnValue), QStringLiteral("60.25")));
    const int editedAt = finished.count();
    QTRY_VERIFY_WITH_TIMEOUT(finished.count() >= editedAt + 3, WaitMs);

    QCOMPARE(signalTexts(errors), QStringList());
    QCOMPARE(m_model->getVarAttr(unsigned(row), QStringLiteral("value")).toString(), QStringLiteral("60.25"));
    QTRY_VERIFY_WITH_TIMEOUT(m_controller->output().contains("WF32=60.25"), WaitMs);
}

void TestE2ePolling::storesToFlashOverVelmorbus()
{
    QVERIFY(connectModel("VelmorBUS RTU"));
    QSignalSpy stored(m_model.get(), &VelmorDeviceModel::storeToFlashComplete);
    QSignalSpy finished(m_model.get(), &VelmorDeviceModel::updateFinished);
    QSignalSpy errors(m_model.get(), &VelmorDeviceModel::errorOccured);
    m_model->storeToFlash();
    m_model->updateDeviceModel();
    QVERIFY(stored.wait(WaitMs));
    QVERIFY(finished.count() == 1 || finished.wait(WaitMs));

    QCOMPARE(signalTexts(errors), QStringList());
    QCOMPARE(stored.count(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(m_controller->output().contains("| ok configuration stored to flash\n"), WaitMs);
}

QTEST_GUILESS_MAIN(TestE2ePolling)
#include "tst_e2epolling.moc"
