#include "trendrecorder.h"
#include "trendseries.h"

#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <limits>
#include <random>

Q_DECLARE_METATYPE(TrendSample)

namespace {

const double gap = std::numeric_limits<double>::quiet_NaN();

TrendSample reading(qint64 timeMs, double value)
{
    return {timeMs, value, value};
}

void feed(TrendSeries &series, const QVector<TrendSample> &samples)
{
    for (const TrendSample &sample : samples) {
        if (sample.isGap())
            series.appendGap(sample.timeMs);
        else
            series.append(sample.timeMs, sample.min);
    }
}

QVector<TrendSample> kept(const TrendSeries &series)
{
    QVector<TrendSample> samples;
    for (int i = 0; i < series.count(); ++i)
        samples.append(series.at(i));
    return samples;
}

QString described(const QVector<TrendSample> &samples)
{
    QStringList parts;
    for (const TrendSample &sample : samples) {
        parts.append(sample.isGap() ? QStringLiteral("gap@%1").arg(sample.timeMs)
                                    : QStringLiteral("%1..%2@%3").arg(sample.min).arg(sample.max).arg(sample.timeMs));
    }
    return parts.join(QLatin1Char(' '));
}

// Min and max of each run of readings between gaps, and the gaps' times: what thinning
// must leave as it was.
struct Outline
{
    QVector<QPair<double, double>> runExtremes;
    QVector<qint64> gapTimesMs;
    bool adjacentGaps = false;
    bool timeOrdered = true;
};

Outline outlineOf(const QVector<TrendSample> &samples)
{
    Outline outline;
    bool inRun = false;
    for (int i = 0; i < samples.size(); ++i) {
        const TrendSample &sample = samples.at(i);
        if (i > 0 && sample.timeMs < samples.at(i - 1).timeMs)
            outline.timeOrdered = false;
        if (sample.isGap()) {
            outline.adjacentGaps |= i > 0 && samples.at(i - 1).isGap();
            outline.gapTimesMs.append(sample.timeMs);
            inRun = false;
            continue;
        }
        if (!inRun)
            outline.runExtremes.append({sample.min, sample.max});
        auto &run = outline.runExtremes.last();
        run = {std::min(run.first, sample.min), std::max(run.second, sample.max)};
        inRun = true;
    }
    return outline;
}

enum class Shape { RandomWalk, Spikes, Gaps, Bursts };

QVector<TrendSample> synthetic(Shape shape, int count)
{
    std::mt19937 random(7);
    std::normal_distribution<double> step(0, 1);
    QVector<TrendSample> samples;
    double value = 0;
    qint64 timeMs = 1000;
    for (int i = 0; i < count; ++i) {
        timeMs += shape == Shape::Bursts ? (i % 500 < 450 ? 1 : 2000) : 100;
        value = shape == Shape::Spikes ? (i % 997 == 0 ? 1000.0 + i : (i % 1499 == 0 ? -1000.0 - i : 5.0)) : value + step(random);
        const bool failed = shape == Shape::Gaps && (i % 300 == 17 || i % 300 == 18);
        samples.append(failed ? TrendSample{timeMs, gap, gap} : reading(timeMs, value));
    }
    return samples;
}

} // namespace

class TestTrendRecorder : public QObject
{
    Q_OBJECT

private slots:
    void keptInOrder_data();
    void keptInOrder();
    void lookups_data();
    void lookups();
    void packedSize();
    void thinningKeepsExtremesAndGaps_data();
    void thinningKeepsExtremesAndGaps();
    void budgetHolds();
    void closedSourceKeepsData();
    void cycleMarksStayInOrderWhenTheClockStepsBack();
};

void TestTrendRecorder::keptInOrder_data()
{
    QTest::addColumn<QVector<TrendSample>>("fed");
    QTest::addColumn<QVector<TrendSample>>("expected");
    QTest::newRow("readings and a gap in time order")
        << QVector<TrendSample>{reading(10, 1), {20, gap, gap}, reading(30, -2.5)}
        << QVector<TrendSample>{reading(10, 1), {20, gap, gap}, reading(30, -2.5)};
    QTest::newRow("consecutive failures keep one gap")
        << QVector<TrendSample>{reading(10, 1), {20, gap, gap}, {30, gap, gap}, {40, gap, gap}, reading(50, 2)}
        << QVector<TrendSample>{reading(10, 1), {20, gap, gap}, reading(50, 2)};
    QTest::newRow("a reading from the past is taken at the last time")
        << QVector<TrendSample>{reading(100, 1), reading(40, 2), {30, gap, gap}}
        << QVector<TrendSample>{reading(100, 1), reading(100, 2), {100, gap, gap}};
    QTest::newRow("readings 50 days apart")
        << QVector<TrendSample>{reading(0, 1), reading(qint64(50) * 86400000, 2), reading(qint64(50) * 86400000 + 1, 3)}
        << QVector<TrendSample>{reading(0, 1), reading(qint64(50) * 86400000, 2), reading(qint64(50) * 86400000 + 1, 3)};
}

void TestTrendRecorder::keptInOrder()
{
    QFETCH(QVector<TrendSample>, fed);
    QFETCH(QVector<TrendSample>, expected);
    TrendSeries series;
    feed(series, fed);
    QCOMPARE(described(kept(series)), described(expected));
}

void TestTrendRecorder::lookups_data()
{
    QTest::addColumn<qint64>("timeMs");
    // Readings every 10 ms from 1000 over several chunks, then a jump past a 32-bit offset.
    QTest::newRow("before the first") << qint64(0);
    QTest::newRow("at the first") << qint64(1000);
    QTest::newRow("between two readings") << qint64(1005);
    QTest::newRow("at a reading deep inside") << qint64(1000 + 10 * 4096);
    QTest::newRow("just before a chunk's worth") << qint64(1000 + 10 * 4095 + 9);
    QTest::newRow("inside the jump") << (qint64(1) << 32);
    QTest::newRow("in the jump") << (qint64(1) << 33);
    QTest::newRow("at the reading after the jump") << (qint64(1) << 34);
    QTest::newRow("after the last") << std::numeric_limits<qint64>::max();
}

void TestTrendRecorder::lookups()
{
    QFETCH(qint64, timeMs);
    QVector<qint64> times;
    for (int i = 0; i < 10000; ++i)
        times.append(1000 + 10 * i);
    times.append({qint64(1) << 34, (qint64(1) << 34) + 5});
    TrendSeries series;
    for (qint64 time : times)
        series.append(time, 1);
    const int firstAtOrAfter = int(std::lower_bound(times.cbegin(), times.cend(), timeMs) - times.cbegin());
    const int lastAtOrBefore = int(std::upper_bound(times.cbegin(), times.cend(), timeMs) - times.cbegin()) - 1;
    QCOMPARE(series.firstAtOrAfter(timeMs), firstAtOrAfter);
    QCOMPARE(series.lastAtOrBefore(timeMs), lastAtOrBefore);
}

void TestTrendRecorder::packedSize()
{
    TrendSeries series;
    feed(series, synthetic(Shape::RandomWalk, 200000));
    QVERIFY2(series.bytesUsed() <= 24 * series.count(), qPrintable(QString::number(series.bytesUsed())));
    QVERIFY(series.bytesUsed() >= 20 * series.count());
}

void TestTrendRecorder::thinningKeepsExtremesAndGaps_data()
{
    QTest::addColumn<QVector<TrendSample>>("fed");
    QTest::addColumn<int>("thinnings");
    QTest::newRow("random walk") << synthetic(Shape::RandomWalk, 30000) << 1;
    QTest::newRow("spikes on a flat line") << synthetic(Shape::Spikes, 30000) << 1;
    QTest::newRow("two failed reads every 300") << synthetic(Shape::Gaps, 30000) << 1;
    QTest::newRow("bursts of readings 2 s apart") << synthetic(Shape::Bursts, 30000) << 1;
    QTest::newRow("random walk thinned five times") << synthetic(Shape::RandomWalk, 30000) << 5;
    QTest::newRow("spikes and gaps thinned five times") << synthetic(Shape::Gaps, 30000) + synthetic(Shape::Spikes, 3000)
                                                        << 5;
}

void TestTrendRecorder::thinningKeepsExtremesAndGaps()
{
    QFETCH(QVector<TrendSample>, fed);
    QFETCH(int, thinnings);
    TrendSeries series;
    feed(series, fed);
    const QVector<TrendSample> before = kept(series);
    const Outline outlineBefore = outlineOf(before);
    for (int i = 0; i < thinnings; ++i) {
        const QVector<TrendSample> previous = kept(series);
        const int freed = series.thinOlderHalf();
        QCOMPARE(series.count(), previous.size() - freed);
        if (i == 0)
            QVERIFY2(series.count() < previous.size() * 2 / 3, qPrintable(QString::number(series.count())));
        const int newer = previous.size() - previous.size() / 2;
        QCOMPARE(described(kept(series).mid(series.count() - newer)), described(previous.mid(previous.size() - newer)));
    }
    const QVector<TrendSample> after = kept(series);
    const Outline outlineAfter = outlineOf(after);
    QVERIFY(outlineAfter.timeOrdered);
    QVERIFY(!outlineAfter.adjacentGaps);
    QCOMPARE(outlineAfter.gapTimesMs, outlineBefore.gapTimesMs);
    QCOMPARE(outlineAfter.runExtremes, outlineBefore.runExtremes);
    QCOMPARE(series.firstAtOrAfter(before.first().timeMs), 0);
    QCOMPARE(series.lastAtOrBefore(before.last().timeMs), series.count() - 1);
}

void TestTrendRecorder::budgetHolds()
{
    TrendRecorder recorder;
    const qint64 budgetBytes = qint64(1) << 20;
    recorder.setBudgetBytes(budgetBytes);
    const QVector<TrendVariable> variables(8, TrendVariable{QStringLiteral("v"), false, 16});
    const int steady = recorder.addSource(QStringLiteral("steady"), variables);
    const int shortLived = recorder.addSource(QStringLiteral("short-lived"), variables);
    const int cycles = 120000;
    std::mt19937 random(3);
    std::uniform_real_distribution<double> value(-100, 100);
    QVector<QPair<double, double>> fedExtremes(variables.size(), {1e9, -1e9});
    qint64 highestBytes = 0;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        const qint64 timeMs = 100 * qint64(cycle);
        for (int variable = 0; variable < variables.size(); ++variable) {
            const double reading = cycle % 1000 == variable ? gap : value(random);
            if (std::isnan(reading)) {
                recorder.appendGap(steady, variable, timeMs);
            } else {
                recorder.append(steady, variable, timeMs, reading);
                fedExtremes[variable] = {std::min(fedExtremes[variable].first, reading),
                                         std::max(fedExtremes[variable].second, reading)};
            }
            if (cycle < cycles / 4)
                recorder.append(shortLived, variable, timeMs, reading);
        }
        recorder.endCycle(steady, timeMs, 100);
        if (cycle == cycles / 4)
            recorder.closeSource(shortLived);
        highestBytes = std::max(highestBytes, recorder.bytesUsed());
    }
    QVERIFY2(highestBytes <= budgetBytes, qPrintable(QString::number(highestBytes)));
    QVERIFY(recorder.keptPoints() < qint64(cycles) * variables.size() / 10);

    QCOMPARE(recorder.timeSpan(steady), qMakePair(qint64(0), 100 * qint64(cycles - 1)));
    for (int variable = 0; variable < variables.size(); ++variable) {
        const QVector<TrendSample> samples = kept(recorder.series(steady, variable));
        const Outline outline = outlineOf(samples);
        QVERIFY(outline.timeOrdered);
        QCOMPARE(outline.gapTimesMs.size(), cycles / 1000);
        double lowest = 1e9, highest = -1e9;
        for (const auto &run : outline.runExtremes) {
            lowest = std::min(lowest, run.first);
            highest = std::max(highest, run.second);
        }
        QCOMPARE(qMakePair(lowest, highest), fedExtremes.at(variable));
        const TrendSeries &series = recorder.series(steady, variable);
        const int atOrBefore = series.lastAtOrBefore(6000000);
        QVERIFY(series.at(atOrBefore).timeMs <= 6000000);
        QCOMPARE(series.firstAtOrAfter(6000001), atOrBefore + 1);
    }
    const QVector<TrendCycle> &marks = recorder.cycles(steady);
    QVERIFY(marks.size() < cycles / 4);
    QVERIFY(std::is_sorted(marks.cbegin(), marks.cend(),
                           [](const TrendCycle &a, const TrendCycle &b) { return a.timeMs < b.timeMs; }));
    qint64 thinnedUntilMs = 0;
    for (int variable = 0; variable < variables.size(); ++variable)
        thinnedUntilMs = std::max(thinnedUntilMs, recorder.series(steady, variable).thinnedUntilMs());
    QVERIFY(thinnedUntilMs > 0);
    const auto newerMarks = std::count_if(marks.cbegin(), marks.cend(),
                                          [thinnedUntilMs](const TrendCycle &mark) { return mark.timeMs > thinnedUntilMs; });
    QCOMPARE(newerMarks, cycles - 1 - thinnedUntilMs / 100);
}

void TestTrendRecorder::closedSourceKeepsData()
{
    TrendRecorder recorder;
    QSignalSpy closed(&recorder, &TrendRecorder::sourceClosed);
    const int device = recorder.addSource(QStringLiteral("device"), {TrendVariable{QStringLiteral("a"), true, 32}});
    recorder.append(device, 0, 1000, 4);
    recorder.appendGap(device, 0, 1100);
    recorder.endCycle(device, 1100, 100);
    recorder.closeSource(device);
    const int other = recorder.addSource(QStringLiteral("other"), {});

    QCOMPARE(closed.size(), 1);
    QVERIFY(!recorder.isLive(device));
    QVERIFY(recorder.isLive(other));
    QCOMPARE(recorder.sources(), (QVector<int>{device, other}));
    QCOMPARE(recorder.sourceName(device), QStringLiteral("device"));
    QCOMPARE(described(kept(recorder.series(device, 0))), QStringLiteral("4..4@1000 gap@1100"));
    QCOMPARE(recorder.cycles(device).size(), 1);
    QCOMPARE(recorder.timeSpan(device), qMakePair(qint64(1000), qint64(1100)));
    QCOMPARE(recorder.timeSpan(other), qMakePair(qint64(0), qint64(-1)));
    QCOMPARE(recorder.keptPoints(), qint64(2));
}

void TestTrendRecorder::cycleMarksStayInOrderWhenTheClockStepsBack()
{
    TrendRecorder recorder;
    const int device = recorder.addSource(QStringLiteral("device"), {TrendVariable{QStringLiteral("a"), false, 16}});
    recorder.endCycle(device, 5000, 100);
    recorder.endCycle(device, 3000, 120);
    recorder.endCycle(device, 6000, 90);

    QVector<qint64> times;
    for (const TrendCycle &cycle : recorder.cycles(device))
        times.append(cycle.timeMs);
    QCOMPARE(times, (QVector<qint64>{5000, 5000, 6000}));
}

QTEST_GUILESS_MAIN(TestTrendRecorder)
#include "tst_trendrecorder.moc"
