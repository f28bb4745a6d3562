#include "retrytimer.h"

#include <QElapsedTimer>
#include <QtTest>

#include <vector>

namespace {

const int firstPauseMs = 50;
const int longestPauseMs = 100;
// A loaded machine fires timers late, never this late; a pause that had doubled once
// more would take at least 2 * longestPauseMs.
const int lateMarginMs = 150;
const int waitMs = 10000;

} // namespace

// The growing pause between attempts at an action that keeps failing.
class TestRetryTimer : public QObject
{
    Q_OBJECT

private slots:
    void pausesDoubleUpToTheLongest();
    void resetStartsOver();
};

void TestRetryTimer::pausesDoubleUpToTheLongest()
{
    std::vector<qint64> pausesMs;
    QElapsedTimer clock;
    RetryTimer *retry = nullptr;
    RetryTimer timer(firstPauseMs, longestPauseMs, [&] {
        pausesMs.push_back(clock.restart());
        if (pausesMs.size() < 4)
            retry->retryLater();
    });
    retry = &timer;
    clock.start();
    timer.retryLater();
    QTRY_COMPARE_WITH_TIMEOUT(pausesMs.size(), size_t(4), waitMs);
    const std::vector<int> expectedMs{firstPauseMs, 2 * firstPauseMs, longestPauseMs, longestPauseMs};
    for (size_t attempt = 0; attempt < expectedMs.size(); ++attempt) {
        // Coarse timers may fire up to 5% early.
        QVERIFY2(pausesMs.at(attempt) >= expectedMs.at(attempt) * 95 / 100, qPrintable(QString::number(attempt)));
        QVERIFY2(pausesMs.at(attempt) < expectedMs.at(attempt) + lateMarginMs, qPrintable(QString::number(attempt)));
    }
}

void TestRetryTimer::resetStartsOver()
{
    // Room to double, so that the pause after three failures is far from the first.
    const int roomyLongestPauseMs = 8 * firstPauseMs;
    int attempts = 0;
    RetryTimer timer(firstPauseMs, roomyLongestPauseMs, [&] { ++attempts; });
    for (int failure = 1; failure <= 3; ++failure) {
        timer.retryLater();
        QTRY_COMPARE_WITH_TIMEOUT(attempts, failure, waitMs);
    }
    timer.reset();
    QElapsedTimer clock;
    clock.start();
    timer.retryLater();
    QTRY_COMPARE_WITH_TIMEOUT(attempts, 4, waitMs);
    QVERIFY2(clock.elapsed() < firstPauseMs + lateMarginMs, qPrintable(QString::number(clock.elapsed())));
}

QTEST_GUILESS_MAIN(TestRetryTimer)
#include "tst_retrytimer.moc"
