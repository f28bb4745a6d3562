#include "cyclerun.h"
#include "descriptiondir.h"
#include "devicerecording.h"
#include "recordingmodbusserver.h"
#include "trendseries.h"
#include "velmordevicemodel.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

// Registers 10.. hold them; address 20000 lies past the server's register map.
const QByteArray plantVariables = "  - name: Level\n    addr: 10\n    type: int16\n"
                                  "  - name: Alarms\n    addr: 11\n    type: int32\n    bitfield: true\n"
                                  "  - name: Flow\n    addr: 13\n    type: float32\n"
                                  "  - name: Missing\n    addr: 20000\n    type: int16\n";

} // namespace

// A real model polling Qt's Modbus TCP server, recorded into a trend source.
class TestDeviceRecording : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void sourceDescribesTheDevice();
    void readingsArriveWithTheirValuesAndTimes();
    void failedReadIsAGapNeverAPoint();
    void lostLinkLeavesAGapInEverySeries();
    void closingTheDeviceClosesTheSourceAndKeepsItsData();

private:
    std::unique_ptr<VelmorDeviceModel> makeModel();

    std::unique_ptr<DescriptionDir> m_dir;
    std::unique_ptr<RecordingModbusServer> m_server;
    std::unique_ptr<TrendRecorder> m_recorder;
};

void TestDeviceRecording::init()
{
    m_dir = std::make_unique<DescriptionDir>();
    m_server = std::make_unique<RecordingModbusServer>();
    QVERIFY(m_server->listen());
    // -1234, 0x80000001, 0.1f as ABCD registers
    m_server->setHoldingRegisters(10, {quint16(-1234), 0x8000, 0x0001, 0x3dcc, 0xcccd});
    m_recorder = std::make_unique<TrendRecorder>();
}

void TestDeviceRecording::cleanup()
{
    m_recorder.reset();
    m_server.reset();
    m_dir.reset();
}

std::unique_ptr<VelmorDeviceModel> TestDeviceRecording::makeModel()
{
    const QByteArray text = "device: Boiler, east\nprotocol: ModBUS TCP\nhost: 127.0.0.1\nport: "
                            + QByteArray::number(m_server->port()) + "\nid: 1\nvariables:\n" + plantVariables;
    auto model = std::make_unique<VelmorDeviceModel>(m_dir->write(QStringLiteral("device.yml"), text));
    model->setInterQueryDelay(0);
    return model;
}

void TestDeviceRecording::sourceDescribesTheDevice()
{
    auto model = makeModel();
    DeviceRecording recording(model.get(), m_recorder.get());

    QCOMPARE(m_recorder->sourceName(recording.source()), QStringLiteral("Boiler, east"));
    QVERIFY(m_recorder->isLive(recording.source()));
    const QVector<TrendVariable> &variables = m_recorder->variables(recording.source());
    QCOMPARE(variables.size(), 4);
    QCOMPARE(variables.at(0).name, QStringLiteral("Level"));
    QCOMPARE(variables.at(0).bits, 16);
    QVERIFY(!variables.at(0).bitfield);
    QCOMPARE(variables.at(1).name, QStringLiteral("Alarms"));
    QCOMPARE(variables.at(1).bits, 32);
    QVERIFY(variables.at(1).bitfield);
}

void TestDeviceRecording::readingsArriveWithTheirValuesAndTimes()
{
    auto model = makeModel();
    DeviceRecording recording(model.get(), m_recorder.get());
    QSignalSpy cycles(m_recorder.get(), &TrendRecorder::cycleRecorded);
    model->connectDevice();
    const qint64 startMs = QDateTime::currentMSecsSinceEpoch();
    QVERIFY(runCycle(*model).finished);

    const int source = recording.source();
    const QVector<double> expected{-1234, 2147483649.0, 0.1};
    for (int id = 0; id < expected.size(); ++id) {
        const TrendSeries &series = m_recorder->series(source, id);
        QCOMPARE(series.count(), 1);
        QCOMPARE(series.at(0).min, expected.at(id));
        QCOMPARE(series.at(0).max, expected.at(id));
        QCOMPARE(series.at(0).timeMs, model->varLastReadTime(unsigned(id)).toMSecsSinceEpoch());
    }
    QCOMPARE(cycles.count(), 1);
    QCOMPARE(m_recorder->cycles(source).size(), 1);
    QVERIFY(m_recorder->cycles(source).first().timeMs >= startMs);
}

void TestDeviceRecording::failedReadIsAGapNeverAPoint()
{
    auto model = makeModel();
    DeviceRecording recording(model.get(), m_recorder.get());
    model->connectDevice();
    QVERIFY(runCycle(*model).finished);
    QVERIFY(runCycle(*model).finished);

    const TrendSeries &missing = m_recorder->series(recording.source(), 3);
    QCOMPARE(missing.count(), 1);
    QVERIFY(missing.at(0).isGap());
    QCOMPARE(m_recorder->series(recording.source(), 0).count(), 2);
}

void TestDeviceRecording::lostLinkLeavesAGapInEverySeries()
{
    auto model = makeModel();
    DeviceRecording recording(model.get(), m_recorder.get());
    QSignalSpy lost(model.get(), &VelmorDeviceModel::connectionLost);
    model->connectDevice();
    QVERIFY(runCycle(*model).finished);

    m_server.reset();
    QVERIFY(lost.wait(10000));

    for (int id = 0; id < model->varCount(); ++id) {
        const TrendSeries &series = m_recorder->series(recording.source(), id);
        QVERIFY2(series.at(series.count() - 1).isGap(), qPrintable(QString::number(id)));
    }
}

void TestDeviceRecording::closingTheDeviceClosesTheSourceAndKeepsItsData()
{
    auto model = makeModel();
    DeviceRecording recording(model.get(), m_recorder.get());
    QSignalSpy closed(m_recorder.get(), &TrendRecorder::sourceClosed);
    model->connectDevice();
    QVERIFY(runCycle(*model).finished);

    model.reset();

    QCOMPARE(closed.count(), 1);
    QCOMPARE(closed.first().first().toInt(), recording.source());
    QVERIFY(!m_recorder->isLive(recording.source()));
    QCOMPARE(m_recorder->series(recording.source(), 0).at(0).min, -1234.0);
    QCOMPARE(m_recorder->cycles(recording.source()).size(), 1);
}

QTEST_MAIN(TestDeviceRecording)
#include "tst_devicerecording.moc"
