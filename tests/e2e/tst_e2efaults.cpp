#include "everytype.h"
#include "signaltexts.h"
#include "simulatedcontroller.h"
#include "velmordevicemodel.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

constexpr int DeviceId = 5;
// Generous: the simulator is another process on a loaded 2-core machine, and a share
// of the answers goes wrong on purpose.
constexpr int WaitMs = 30000;
// Cycles that must still complete after the first reported fault.
constexpr int CyclesAfterFault = 3;

} // namespace

// A controller that answers a share of the requests wrongly: the model reports each fault
// as the user sees it, keeps polling, and holds the values of the good answers.
class TestE2eFaults : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void survivesFault_data();
    void survivesFault();

private:
    std::unique_ptr<SimulatedController> m_controller;
    std::unique_ptr<VelmorDeviceModel> m_model;
};

void TestE2eFaults::cleanup()
{
    m_model.reset();
    if (m_controller)
        QVERIFY2(m_controller->stop(), "velmor-sim did not end on SIGTERM");
    m_controller.reset();
}

void TestE2eFaults::survivesFault_data()
{
    QTest::addColumn<QByteArray>("protocol");
    QTest::addColumn<QStringList>("faultArguments");
    QTest::addColumn<QString>("expectedError");

    const QByteArray velmorbus = "VelmorBUS RTU";
    QTest::newRow("Velmorbus silence") << velmorbus << QStringList { "--faults", "silence" } << "Timeout";
    QTest::newRow("Velmorbus wrong id") << velmorbus << QStringList { "--faults", "wrong-id" }
                                        << "Response id doesn't match request id";
    QTest::newRow("Velmorbus bad CRC") << velmorbus << QStringList { "--faults", "bad-crc" }
                                       << "Response CRC mismatch";
    QTest::newRow("Velmorbus short answer") << velmorbus << QStringList { "--faults", "short" }
                                            << "Recieved response is too small";
    QTest::newRow("Velmorbus status 0x30") << velmorbus << QStringList { "--faults", "bad-status" }
                                           << "(Velmorbus) reply status is not ok (0x30)";
    QTest::newRow("Modbus TCP exception 4") << QByteArray("ModBUS TCP") << QStringList { "--faults", "exception" }
                                            << "Modbus Exception Response.";
    QTest::newRow("Modbus RTU exception 6")
        << QByteArray("ModBUS RTU") << QStringList { "--faults", "exception", "--exception-code", "6" }
        << "Modbus Exception Response.";
}

void TestE2eFaults::survivesFault()
{
    QFETCH(QByteArray, protocol);
    QFETCH(QStringList, faultArguments);
    QFETCH(QString, expectedError);

    m_controller = std::make_unique<SimulatedController>();
    const QStringList arguments = faultArguments + QStringList { "--fault-rate", "0.3", "--seed", "11" };
    QVERIFY(m_controller->start(protocol, DeviceId, EveryType::variables(protocol), arguments));
    m_model = m_controller->connectedModel();
    QVERIFY(m_model);
    QSignalSpy finished(m_model.get(), &VelmorDeviceModel::updateFinished);
    QSignalSpy errors(m_model.get(), &VelmorDeviceModel::errorOccured);
    m_model->setAutoUpdate(true);
    m_model->updateDeviceModel();

    QTRY_VERIFY_WITH_TIMEOUT(signalTexts(errors).contains(expectedError), WaitMs);
    const int faultAt = finished.count();
    QTRY_VERIFY_WITH_TIMEOUT(finished.count() >= faultAt + CyclesAfterFault, WaitMs);
    // Every variable answered well in some cycle, and its value was kept.
    QTRY_COMPARE_WITH_TIMEOUT(EveryType::heldTexts(*m_model), EveryType::heldTexts(protocol), WaitMs);
    QVERIFY(m_model->connected());
    // Only the injected fault is reported: no follow-on errors from a confused link.
    QStringList otherErrors = signalTexts(errors);
    otherErrors.removeAll(expectedError);
    QCOMPARE(otherErrors, QStringList());
    QVERIFY(m_controller->output().contains(" | fault: " + faultArguments.at(1).toUtf8() + '\n'));
}

QTEST_GUILESS_MAIN(TestE2eFaults)
#include "tst_e2efaults.moc"
