#include "clockblock.h"
#include "simulatedcontroller.h"
#include "velmorbusoutcome.h"
#include "velmorbusrtuserialmaster.h"

#include <QDateTime>
#include <QtTest>

#include <ctime>
#include <memory>

namespace {

constexpr quint8 DeviceId = 33;
constexpr quint16 ClockAddress = 0x0C02;
constexpr quint16 ClockSize = 8;
// Far above a controller's usual answer time: the simulator is another process on a
// loaded 2-core machine.
constexpr int ResponseTimeoutMs = 3000;
constexpr int WaitMs = 15000;
// The clock runs on between the write and the read back.
constexpr int ClockDriftSecs = 5;

} // namespace

// The controller clock block read and set over Velmorbus, as the clock window does it:
// the port is opened for each exchange and closed after it.
class TestE2eClock : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void readsTheRunningClock();
    void setClockReadsBack_data();
    void setClockReadsBack();

private:
    VelmorbusOutcome exchange(const VelmorBusPacket &request);

    std::unique_ptr<SimulatedController> m_controller;
};

void TestE2eClock::initTestCase()
{
    // The clock block carries local wall-clock time; the simulator inherits this zone.
    qputenv("TZ", "UTC");
    tzset();
}

void TestE2eClock::init()
{
    m_controller = std::make_unique<SimulatedController>();
    QVERIFY(m_controller->start("VelmorBUS RTU", DeviceId, { { "T", 0x10, "type: int16", "21" } }));
}

void TestE2eClock::cleanup()
{
    QVERIFY2(m_controller->stop(), "velmor-sim did not end on SIGTERM");
    m_controller.reset();
}

VelmorbusOutcome TestE2eClock::exchange(const VelmorBusPacket &request)
{
    VelmorbusRtuSerialMaster master;
    master.setPortName(m_controller->link());
    master.setBaudRate(19200);
    master.setResponseTimeout(ResponseTimeoutMs);
    if (!master.open())
        return VelmorbusOutcome();
    const VelmorbusOutcome outcome = VelmorbusOutcome::await(master.sendRequest(request, DeviceId), WaitMs);
    master.close();
    return outcome;
}

void TestE2eClock::readsTheRunningClock()
{
    const QDateTime before = QDateTime::currentDateTime().addSecs(-ClockDriftSecs);
    const VelmorbusOutcome outcome = exchange(VelmorBusPacket(VelmorBusPacket::CmdRead, ClockAddress, ClockSize));
    const QDateTime after = QDateTime::currentDateTime().addSecs(ClockDriftSecs);

    QVERIFY(outcome.finished);
    QCOMPARE(outcome.errorString, QString());
    QCOMPARE(outcome.stat, int(VelmorBusPacket::StatOk));
    const QDateTime clock = ClockBlock::decode(outcome.data);
    QVERIFY2(clock >= before && clock <= after, qPrintable(clock.toString(Qt::ISODate)));
}

void TestE2eClock::setClockReadsBack_data()
{
    QTest::addColumn<QDateTime>("written");

    QTest::newRow("20.09.2017 10:20:54, a Wednesday") << QDateTime(QDate(2017, 9, 20), QTime(10, 20, 54));
    QTest::newRow("leap day 29.02.2024 23:59:58 runs into March") << QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58));
    QTest::newRow("31.12.2099 23:59:59 runs into the next century")
        << QDateTime(QDate(2099, 12, 31), QTime(23, 59, 59));
}

void TestE2eClock::setClockReadsBack()
{
    QFETCH(QDateTime, written);

    VelmorBusPacket write(VelmorBusPacket::CmdWrite, ClockAddress, ClockSize);
    write.setData(ClockBlock::encode(written));
    const VelmorbusOutcome ack = exchange(write);
    QVERIFY(ack.finished);
    QCOMPARE(ack.errorString, QString());
    QCOMPARE(ack.stat, int(VelmorBusPacket::StatOk));

    const VelmorbusOutcome read = exchange(VelmorBusPacket(VelmorBusPacket::CmdRead, ClockAddress, ClockSize));
    QVERIFY(read.finished);
    QCOMPARE(read.errorString, QString());
    QCOMPARE(read.stat, int(VelmorBusPacket::StatOk));
    const QDateTime clock = ClockBlock::decode(read.data);
    QVERIFY2(clock >= written && clock <= written.addSecs(ClockDriftSecs), qPrintable(clock.toString(Qt::ISODate)));
    QCOMPARE(int(quint8(read.data.at(7))), clock.date().dayOfWeek());
}

QTEST_GUILESS_MAIN(TestE2eClock)
#include "tst_e2eclock.moc"
