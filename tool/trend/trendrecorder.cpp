#include "trendrecorder.h"

#include "trendseries.h"

#include "trendrecorder_p.h"

#include <algorithm>

namespace {

qint64 cycleBytes(const QVector<TrendCycle> &cycles)
{
    return qint64(cycles.capacity()) * qint64(sizeof(TrendCycle));
}

} // namespace

void TrendRecorderPrivate::appendCycle(TrendSource &source, const TrendCycle &cycle)
{
    const qint64 before = cycleBytes(source.cycles);
    // The wall clock can step back (a time sync): the marks stay in order, as the points do.
    TrendCycle kept = cycle;
    if (!source.cycles.isEmpty())
        kept.timeMs = std::max(kept.timeMs, source.cycles.last().timeMs);
    source.cycles.append(kept);
    bytesUsed += cycleBytes(source.cycles) - before;
    if (bytesUsed > budgetBytes)
        keepBudget();
}

void TrendRecorderPrivate::keepBudget()
{
    const qint64 goalBytes = budgetBytes / 4 * 3;
    std::vector<const TrendSeries *> spent;
    while (bytesUsed > goalBytes) {
        const Candidate candidate = seriesWithMostPoints(spent);
        if (!candidate.series)
            return;
        const qint64 before = candidate.series->bytesUsed();
        if (candidate.series->thinOlderHalf() == 0) {
            spent.push_back(candidate.series);
            continue;
        }
        bytesUsed += candidate.series->bytesUsed() - before;
        thinCycles(*candidate.source, candidate.series->thinnedUntilMs(), candidate.series->bucketWidthMs());
    }
}

TrendRecorderPrivate::Candidate TrendRecorderPrivate::seriesWithMostPoints(const std::vector<const TrendSeries *> &spent)
{
    Candidate best;
    for (auto &entry : sources) {
        for (TrendSeries &series : entry.second.series) {
            if (best.series && series.count() <= best.series->count())
                continue;
            if (std::find(spent.cbegin(), spent.cend(), &series) == spent.cend())
                best = {&entry.second, &series};
        }
    }
    return best;
}

// Keeps at most one cycle mark per bucket width up to the time, the first of each.
void TrendRecorderPrivate::thinCycles(TrendSource &source, qint64 untilMs, qint64 widthMs)
{
    QVector<TrendCycle> &cycles = source.cycles;
    const auto end = std::upper_bound(cycles.begin(), cycles.end(), untilMs,
                                      [](qint64 time, const TrendCycle &cycle) { return time < cycle.timeMs; });
    if (end == cycles.begin())
        return;
    qint64 keptMs = cycles.front().timeMs;
    const auto kept = std::remove_if(cycles.begin() + 1, end, [&keptMs, widthMs](const TrendCycle &cycle) {
        if (cycle.timeMs - keptMs < widthMs)
            return true;
        keptMs = cycle.timeMs;
        return false;
    });
    if (kept == end)
        return;
    const qint64 before = cycleBytes(cycles);
    cycles.erase(kept, end);
    cycles.squeeze();
    bytesUsed += cycleBytes(cycles) - before;
}

TrendRecorder::TrendRecorder(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<TrendRecorderPrivate>())
{
}

TrendRecorder::~TrendRecorder() = default;

qint64 TrendRecorder::budgetBytes() const
{
    return d->budgetBytes;
}

void TrendRecorder::setBudgetBytes(qint64 bytes)
{
    d->budgetBytes = bytes;
    if (d->bytesUsed > d->budgetBytes)
        d->keepBudget();
}

int TrendRecorder::addSource(const QString &name, const QVector<TrendVariable> &variables)
{
    const int number = d->nextSource++;
    TrendSource &source = d->sources[number];
    source.name = name;
    source.variables = variables;
    source.series.resize(std::size_t(variables.size()));
    emit sourceAdded(number);
    return number;
}

void TrendRecorder::closeSource(int source)
{
    d->source(source).live = false;
    emit sourceClosed(source);
}

QVector<int> TrendRecorder::sources() const
{
    QVector<int> numbers;
    for (const auto &entry : d->sources)
        numbers.append(entry.first);
    return numbers;
}

bool TrendRecorder::isLive(int source) const
{
    return d->source(source).live;
}

QString TrendRecorder::sourceName(int source) const
{
    return d->source(source).name;
}

const QVector<TrendVariable> &TrendRecorder::variables(int source) const
{
    return d->source(source).variables;
}

void TrendRecorder::append(int source, int variable, qint64 timeMs, double value)
{
    d->appendTo(source, variable, [timeMs, value](TrendSeries &series) { series.append(timeMs, value); });
}

void TrendRecorder::appendGap(int source, int variable, qint64 timeMs)
{
    d->appendTo(source, variable, [timeMs](TrendSeries &series) { series.appendGap(timeMs); });
}

void TrendRecorder::endCycle(int source, qint64 timeMs, int cycleMs)
{
    d->appendCycle(d->source(source), {timeMs, cycleMs});
    emit cycleRecorded(source);
}

const TrendSeries &TrendRecorder::series(int source, int variable) const
{
    return d->source(source).series.at(std::size_t(variable));
}

const QVector<TrendCycle> &TrendRecorder::cycles(int source) const
{
    return d->source(source).cycles;
}

QPair<qint64, qint64> TrendRecorder::timeSpan(int source) const
{
    QPair<qint64, qint64> span{0, -1};
    bool any = false;
    for (const TrendSeries &series : d->source(source).series) {
        if (series.count() == 0)
            continue;
        const qint64 first = series.at(0).timeMs;
        const qint64 last = series.at(series.count() - 1).timeMs;
        span = any ? qMakePair(std::min(span.first, first), std::max(span.second, last)) : qMakePair(first, last);
        any = true;
    }
    return span;
}

qint64 TrendRecorder::bytesUsed() const
{
    return d->bytesUsed;
}

qint64 TrendRecorder::keptPoints() const
{
    qint64 points = 0;
    for (const auto &entry : d->sources) {
        for (const TrendSeries &series : entry.second.series)
            points += series.count();
    }
    return points;
}
