#ifndef TRENDSERIES_H
#define TRENDSERIES_H

#include "trendsample.h"
#include "trendspan.h"

#include <memory>
#include <vector>

class TrendSeriesPrivate;

// The kept points of one variable in time order. Readings are appended as they come;
// thinning folds the older half into min/max envelopes per time bucket, so that extremes
// and gaps survive while the count shrinks.
class TrendSeries
{
public:
    TrendSeries();
    ~TrendSeries();
    TrendSeries(TrendSeries &&other) noexcept;
    TrendSeries &operator=(TrendSeries &&other) noexcept;

    // A reading earlier than the last kept point is taken at the last point's time.
    void append(qint64 timeMs, double value);
    // A failed read; consecutive failures keep one gap.
    void appendGap(qint64 timeMs);

    int count() const;
    TrendSample at(int index) const;
    // Over the points first to last, both included.
    TrendSpan span(int first, int last) const;
    // Index of the first point at or after the time; count() when there is none.
    int firstAtOrAfter(qint64 timeMs) const;
    // Index of the last point at or before the time; -1 when there is none.
    int lastAtOrBefore(qint64 timeMs) const;

    // Folds the older half into envelopes; returns how many points it freed.
    int thinOlderHalf();
    // Time of the newest point folded so far, and the bucket width of the last thinning;
    // both 0 before the first.
    qint64 thinnedUntilMs() const;
    qint64 bucketWidthMs() const;
    qint64 bytesUsed() const;

private:
    std::unique_ptr<TrendSeriesPrivate> d;
};

#endif // TRENDSERIES_H
