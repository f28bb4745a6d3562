#include "trendrecorder.h"

#include "trendseries.h"

#include <algorithm>
#include <map>

namespace {

struct Source
{
    QString name;
    QVector<TrendVariable> variables;
    std::vector<TrendSeries> series;
    QVector<TrendCycle> cycles;
    bool live = true;
};

} // namespace

class TrendRecorderPrivate
{
public:
    qint64 budgetBytes = TrendRecorder::defaultBudgetBytes;
    std::map<int, Source> sources;

    const Source &source(int number) const { return sources.at(number); }
    int nextSource = 0;
};

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
}

int TrendRecorder::addSource(const QString &name, const QVector<TrendVariable> &variables)
{
    const int number = d->nextSource++;
    Source &source = d->sources[number];
    source.name = name;
    source.variables = variables;
    source.series.resize(std::size_t(variables.size()));
    emit sourceAdded(number);
    return number;
}

void TrendRecorder::closeSource(int source)
{
    d->sources.at(source).live = false;
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
    d->sources.at(source).series.at(std::size_t(variable)).append(timeMs, value);
}

void TrendRecorder::appendGap(int source, int variable, qint64 timeMs)
{
    d->sources.at(source).series.at(std::size_t(variable)).appendGap(timeMs);
}

void TrendRecorder::endCycle(int source, qint64 timeMs, int cycleMs)
{
    d->sources.at(source).cycles.append({timeMs, cycleMs});
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
    qint64 bytes = 0;
    for (const auto &entry : d->sources) {
        for (const TrendSeries &series : entry.second.series)
            bytes += series.bytesUsed();
    }
    return bytes;
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
