// Trend recorder: memory per kept point over a synthetic day of readings under the
// default budget, and the cost of recording one cycle of many variables.
//
//   bench-recorder    prints the table rows
#include "resultrow.h"
#include "trendrecorder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocale>

#include <malloc.h>

#include <algorithm>
#include <random>

namespace {

constexpr double targetBytesPerPoint = 24;
constexpr double targetCycleMs = 1;
constexpr qint64 dayStartMs = 1'765'000'000'000;

// Heap bytes in use (small blocks plus mapped ones), so that freed memory does not count.
qint64 heapInUseBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
}

QVector<TrendVariable> variables(int count)
{
    QVector<TrendVariable> list;
    for (int i = 0; i < count; ++i)
        list.append({QStringLiteral("var%1").arg(i), false, 16});
    return list;
}

// Readings that wander like process values, with a failed read now and then.
class SyntheticReadings
{
public:
    explicit SyntheticReadings(int variableCount)
        : m_values(std::size_t(variableCount), 0.0)
    {
    }

    void recordCycle(TrendRecorder &recorder, int source, qint64 timeMs)
    {
        for (std::size_t i = 0; i < m_values.size(); ++i) {
            if (m_failure(m_random) < failedReadChance) {
                recorder.appendGap(source, int(i), timeMs);
                continue;
            }
            m_values[i] += m_step(m_random);
            recorder.append(source, int(i), timeMs, m_values[i]);
        }
        recorder.endCycle(source, timeMs, cycleMs);
    }

    static constexpr int cycleMs = 100;

private:
    static constexpr double failedReadChance = 1e-4;

    std::vector<double> m_values;
    std::mt19937_64 m_random{20261209};
    std::normal_distribution<double> m_step{0.0, 1.0};
    std::uniform_real_distribution<double> m_failure{0.0, 1.0};
};

struct DayResult
{
    double recorderBytesPerPoint = 0;
    double heapBytesPerPoint = 0;
    qint64 keptPoints = 0;
    qint64 highestBytes = 0;
    double longestCycleMs = 0;
    double totalSeconds = 0;
};

DayResult recordDay(int variableCount, int cycles)
{
    const qint64 heapBefore = heapInUseBytes();
    TrendRecorder recorder;
    const int source = recorder.addSource(QStringLiteral("day"), variables(variableCount));
    SyntheticReadings readings(variableCount);
    DayResult result;
    QElapsedTimer total;
    total.start();
    QElapsedTimer cycle;
    for (int i = 0; i < cycles; ++i) {
        cycle.start();
        readings.recordCycle(recorder, source, dayStartMs + qint64(i) * SyntheticReadings::cycleMs);
        result.longestCycleMs = std::max(result.longestCycleMs, cycle.nsecsElapsed() / 1e6);
        result.highestBytes = std::max(result.highestBytes, recorder.bytesUsed());
    }
    result.totalSeconds = total.nsecsElapsed() / 1e9;
    result.keptPoints = recorder.keptPoints();
    result.recorderBytesPerPoint = double(recorder.bytesUsed()) / double(result.keptPoints);
    result.heapBytesPerPoint = double(heapInUseBytes() - heapBefore) / double(result.keptPoints);
    return result;
}

double medianCycleMs(int variableCount, int cycles)
{
    TrendRecorder recorder;
    const int source = recorder.addSource(QStringLiteral("wide"), variables(variableCount));
    SyntheticReadings readings(variableCount);
    QVector<double> cycleMs;
    QElapsedTimer timer;
    for (int i = 0; i < cycles; ++i) {
        timer.start();
        readings.recordCycle(recorder, source, dayStartMs + qint64(i) * SyntheticReadings::cycleMs);
        cycleMs.append(timer.nsecsElapsed() / 1e6);
    }
    return ResultRow::median(cycleMs);
}

QString count(qint64 value)
{
    return QLocale(QLocale::English).toString(value);
}

void printDayRows(const DayResult &day, int variableCount)
{
    const QString name = QStringLiteral("Trend recorder, a day of %1 vars at 10/s: ").arg(variableCount);
    const QString reference = QStringLiteral("TrendSample %1 B").arg(sizeof(TrendSample));
    const QString limit = QStringLiteral("<= %1 B").arg(targetBytesPerPoint);
    ResultRow{name + QStringLiteral("bytesUsed per kept point"),
              QStringLiteral("%1 B (%2 points kept)").arg(ResultRow::number(day.recorderBytesPerPoint, 2), count(day.keptPoints)),
              reference, ResultRow::number(day.recorderBytesPerPoint / sizeof(TrendSample), 2), limit,
              ResultRow::verdict(day.recorderBytesPerPoint <= targetBytesPerPoint)}.print();
    ResultRow{name + QStringLiteral("heap growth per kept point (mallinfo2)"),
              QStringLiteral("%1 B").arg(ResultRow::number(day.heapBytesPerPoint, 2)), reference,
              ResultRow::number(day.heapBytesPerPoint / sizeof(TrendSample), 2), limit,
              ResultRow::verdict(day.heapBytesPerPoint <= targetBytesPerPoint)}.print();
    const double budgetMiB = TrendRecorder::defaultBudgetBytes / 1048576.0;
    const double highestMiB = day.highestBytes / 1048576.0;
    ResultRow{name + QStringLiteral("highest bytesUsed after a cycle"),
              QStringLiteral("%1 MiB").arg(ResultRow::number(highestMiB, 1)),
              QStringLiteral("budget %1 MiB").arg(ResultRow::number(budgetMiB, 0)),
              ResultRow::number(highestMiB / budgetMiB, 2), QStringLiteral("<= 1.00"),
              ResultRow::verdict(day.highestBytes <= TrendRecorder::defaultBudgetBytes)}.print();
    ResultRow{name + QStringLiteral("whole feed, longest cycle (with thinning)"),
              QStringLiteral("%1 s, longest cycle %2 ms").arg(ResultRow::number(day.totalSeconds, 1),
                                                              ResultRow::number(day.longestCycleMs, 1)),
              QStringLiteral("-"), QStringLiteral("-"), QString(), QString()}.print();
}

void printCycleRow(double medianMs, int variableCount, int cycles)
{
    ResultRow{QStringLiteral("Trend recorder, one cycle of %1 vars: %1 appends + endCycle (median of %2)")
                  .arg(count(variableCount), count(cycles)),
              QStringLiteral("%1 ms").arg(ResultRow::number(medianMs, 3)), QStringLiteral("-"), QStringLiteral("-"),
              QStringLiteral("< %1 ms").arg(targetCycleMs), ResultRow::verdict(medianMs < targetCycleMs)}.print();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    constexpr int dayVariables = 100;
    constexpr int dayCycles = 864'000;
    printDayRows(recordDay(dayVariables, dayCycles), dayVariables);
    constexpr int wideVariables = 1000;
    constexpr int wideCycles = 3000;
    printCycleRow(medianCycleMs(wideVariables, wideCycles), wideVariables, wideCycles);
    return 0;
}
