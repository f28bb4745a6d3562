#include "linefailurerun.h"

#include <QtTest>

// When a serial line's errors in a row mean that it keeps failing.
class TestLineFailureRun : public QObject
{
    Q_OBJECT

private slots:
    void persistentAfterARunOfErrors_data();
    void persistentAfterARunOfErrors();
};

void TestLineFailureRun::persistentAfterARunOfErrors_data()
{
    QTest::addColumn<int>("errorsBefore");
    QTest::addColumn<bool>("clearedBefore");
    QTest::addColumn<bool>("persistent");
    QTest::newRow("first error") << 0 << false << false;
    QTest::newRow("one short of the run") << LineFailureRun::PersistentFailures - 2 << false << false;
    QTest::newRow("the run complete") << LineFailureRun::PersistentFailures - 1 << false << true;
    QTest::newRow("past the run") << LineFailureRun::PersistentFailures << false << true;
    QTest::newRow("bytes came before the last error") << LineFailureRun::PersistentFailures - 1 << true << false;
}

void TestLineFailureRun::persistentAfterARunOfErrors()
{
    QFETCH(int, errorsBefore);
    QFETCH(bool, clearedBefore);
    QFETCH(bool, persistent);
    // A window no test machine exhausts: only the count decides.
    LineFailureRun run(600000);
    for (int error = 0; error < errorsBefore; ++error)
        run.count();
    if (clearedBefore)
        run.clear();
    QCOMPARE(run.count(), persistent);
}

QTEST_GUILESS_MAIN(TestLineFailureRun)
#include "tst_linefailurerun.moc"
