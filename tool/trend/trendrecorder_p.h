#ifndef TRENDRECORDER_P_H
#define TRENDRECORDER_P_H

#include "trendrecorder.h"
#include "trendseries.h"

#include <map>
#include <vector>

struct TrendSource
{
    QString name;
    QVector<TrendVariable> variables;
    std::vector<TrendSeries> series;
    QVector<TrendCycle> cycles;
    bool live = true;
};

class TrendRecorderPrivate
{
public:
    TrendSource &source(int number) { return sources.at(number); }
    const TrendSource &source(int number) const { return sources.at(number); }

    // Runs an append on one series and keeps the running byte count.
    template <typename Append>
    void appendTo(int sourceNumber, int variable, Append append);
    void appendCycle(TrendSource &source, const TrendCycle &cycle);
    // Past the budget, thins the series with most points until usage is back under
    // three quarters of it, so that thinning stays rare.
    void keepBudget();

    qint64 budgetBytes = TrendRecorder::defaultBudgetBytes;
    std::map<int, TrendSource> sources;
    int nextSource = 0;
    // Kept points and cycle marks of every source, as allocated.
    qint64 bytesUsed = 0;

private:
    struct Candidate
    {
        TrendSource *source = nullptr;
        TrendSeries *series = nullptr;
    };

    Candidate seriesWithMostPoints(const std::vector<const TrendSeries *> &spent);
    void thinCycles(TrendSource &source, qint64 untilMs, qint64 widthMs);
};

template <typename Append>
void TrendRecorderPrivate::appendTo(int sourceNumber, int variable, Append append)
{
    TrendSeries &series = source(sourceNumber).series.at(std::size_t(variable));
    const qint64 before = series.bytesUsed();
    append(series);
    bytesUsed += series.bytesUsed() - before;
    if (bytesUsed > budgetBytes)
        keepBudget();
}

#endif // TRENDRECORDER_P_H
