#include "trafficlog.h"

#include <QAbstractItemModelTester>
#include <QtTest>

namespace {

const QDateTime firstTime(QDate(2026, 3, 1), QTime(14, 5, 9, 42));

TrafficFrame modbusFrame(int number, bool sent = true)
{
    // The frame's number in its register address, to tell the frames apart.
    const QByteArray bytes = QByteArray::fromHex("0103") + char(number >> 8) + char(number & 0xff) + QByteArray::fromHex("0001");
    return {firstTime.addMSecs(number), 1, QStringLiteral("Котёл"), FrameDecode::Protocol::Modbus, sent, bytes};
}

QString decodeAt(const TrafficLog &log, int row)
{
    return log.index(row, TrafficLog::DecodeColumn).data().toString();
}

} // namespace

// The log the traffic monitor shows: bounded, and told to views in batches.
class TestTrafficLog : public QObject
{
    Q_OBJECT

private slots:
    void rowShowsTheFrameForPeople();
    void keepsOnlyTheNewestFrames_data();
    void keepsOnlyTheNewestFrames();
    void viewsLearnOfFramesInOneBatch();
    void clearEmptiesTheLogAndItsViews();
    void lineIsTheTraceLineWithDeviceAndDecode();
};

void TestTrafficLog::rowShowsTheFrameForPeople()
{
    TrafficLog log;
    log.append(modbusFrame(100));
    log.append(modbusFrame(7, false));
    log.publishPending();

    QCOMPARE(log.rowCount(), 2);
    QCOMPARE(log.index(0, TrafficLog::TimeColumn).data().toString(), QStringLiteral("14:05:09.142"));
    QCOMPARE(log.index(0, TrafficLog::DeviceColumn).data().toString(), QStringLiteral("Котёл"));
    QCOMPARE(log.index(0, TrafficLog::DirectionColumn).data().toString(), QStringLiteral("→"));
    QCOMPARE(log.index(1, TrafficLog::DirectionColumn).data().toString(), QStringLiteral("←"));
    QCOMPARE(log.index(0, TrafficLog::BytesColumn).data().toString(), QStringLiteral("01 03 00 64 00 01"));
    QCOMPARE(decodeAt(log, 0), QStringLiteral("адрес 1: чтение holding 100, 1 рег."));
}

void TestTrafficLog::keepsOnlyTheNewestFrames_data()
{
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("overflow");
    QTest::newRow("default bound, 10000 + 1") << int(TrafficLog::defaultCapacity) << 1;
    QTest::newRow("default bound, 10000 + 2500") << int(TrafficLog::defaultCapacity) << 2500;
    QTest::newRow("bound of 3, twice over") << 3 << 6;
}

void TestTrafficLog::keepsOnlyTheNewestFrames()
{
    QFETCH(int, capacity);
    QFETCH(int, overflow);
    TrafficLog log(capacity);
    QAbstractItemModelTester tester(&log);
    // Published half way, so that rows views know are dropped as well as unpublished ones.
    for (int number = 0; number < capacity + overflow; ++number) {
        log.append(modbusFrame(number));
        if (number == capacity / 2)
            log.publishPending();
    }
    log.publishPending();

    QCOMPARE(log.storedCount(), capacity);
    QCOMPARE(log.rowCount(), capacity);
    QCOMPARE(decodeAt(log, 0), QStringLiteral("адрес 1: чтение holding %1, 1 рег.").arg(overflow));
    QCOMPARE(decodeAt(log, capacity - 1),
             QStringLiteral("адрес 1: чтение holding %1, 1 рег.").arg(capacity + overflow - 1));
}

void TestTrafficLog::viewsLearnOfFramesInOneBatch()
{
    TrafficLog log(100);
    QAbstractItemModelTester tester(&log);
    QSignalSpy inserted(&log, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&log, &QAbstractItemModel::rowsRemoved);
    for (int number = 0; number < 150; ++number)
        log.append(modbusFrame(number));
    QCOMPARE(log.rowCount(), 0);
    QCOMPARE(log.storedCount(), 100);

    QTRY_COMPARE_WITH_TIMEOUT(log.rowCount(), 100, 10000);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(removed.count(), 0);

    for (int number = 150; number < 180; ++number)
        log.append(modbusFrame(number));
    QVERIFY(removed.wait(10000));
    QCOMPARE(removed.count(), 1);
    QCOMPARE(inserted.count(), 2);
    QCOMPARE(log.rowCount(), 100);
    QCOMPARE(decodeAt(log, 0), QStringLiteral("адрес 1: чтение holding 80, 1 рег."));
}

void TestTrafficLog::clearEmptiesTheLogAndItsViews()
{
    TrafficLog log(10);
    QAbstractItemModelTester tester(&log);
    for (int number = 0; number < 25; ++number)
        log.append(modbusFrame(number));
    log.publishPending();
    log.clear();
    QCOMPARE(log.rowCount(), 0);
    QCOMPARE(log.storedCount(), 0);

    log.append(modbusFrame(30));
    log.publishPending();
    QCOMPARE(log.rowCount(), 1);
    QCOMPARE(decodeAt(log, 0), QStringLiteral("адрес 1: чтение holding 30, 1 рег."));
}

void TestTrafficLog::lineIsTheTraceLineWithDeviceAndDecode()
{
    TrafficLog log;
    log.append(modbusFrame(0, false));
    log.publishPending();
    QCOMPARE(log.line(0), QStringLiteral("2026-03-01 14:05:09.042 < 01 03 00 00 00 01 | Котёл | адрес 1: ответ: 0 байт"));
}

QTEST_MAIN(TestTrafficLog)
#include "tst_trafficlog.moc"
