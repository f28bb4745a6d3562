#include "trendseries.h"

#include "trendenvelopefold.h"
#include "trendseries_p.h"

#include <algorithm>
#include <limits>

qint64 TrendSeriesPrivate::bucketWidthFor(int olderCount) const
{
    const qint64 spanMs = points.at(olderCount - 1).timeMs - points.at(0).timeMs;
    return std::max<qint64>(1, spanMs * foldFactor / olderCount);
}

TrendChunkList TrendSeriesPrivate::thinnedBefore(int split, qint64 widthMs)
{
    TrendChunkList thinned;
    TrendEnvelopeFold fold(widthMs, thinned);
    int index = 0;
    int position = 0;
    // Chunks are taken one by one, so the old copy is freed while the new one grows.
    for (; position < points.chunkCount() && index < split; ++position) {
        const TrendChunk chunk = points.takeChunk(position);
        const int folded = std::min(chunk.count(), split - index);
        for (int i = 0; i < folded; ++i)
            fold.add(chunk.at(i));
        if (folded < chunk.count())
            fold.finish();
        for (int i = folded; i < chunk.count(); ++i)
            thinned.append(chunk.at(i));
        index += chunk.count();
    }
    fold.finish();
    thinned.shrinkToFit();
    for (; position < points.chunkCount(); ++position)
        thinned.appendChunk(points.takeChunk(position));
    return thinned;
}

TrendSeries::TrendSeries()
    : d(std::make_unique<TrendSeriesPrivate>())
{
}

TrendSeries::~TrendSeries() = default;
TrendSeries::TrendSeries(TrendSeries &&other) noexcept = default;
TrendSeries &TrendSeries::operator=(TrendSeries &&other) noexcept = default;

void TrendSeries::append(qint64 timeMs, double value)
{
    // A value that is not a number would read as a gap, so it is kept as one.
    if (std::isnan(value)) {
        appendGap(timeMs);
        return;
    }
    if (!d->points.isEmpty())
        timeMs = std::max(timeMs, d->points.last().timeMs);
    d->points.append({timeMs, value, value});
}

void TrendSeries::appendGap(qint64 timeMs)
{
    if (!d->points.isEmpty()) {
        const TrendSample last = d->points.last();
        if (last.isGap())
            return;
        timeMs = std::max(timeMs, last.timeMs);
    }
    const double nan = std::numeric_limits<double>::quiet_NaN();
    d->points.append({timeMs, nan, nan});
}

int TrendSeries::count() const
{
    return d->points.count();
}

TrendSpan TrendSeries::span(int first, int last) const
{
    return d->points.span(first, last);
}

TrendSample TrendSeries::at(int index) const
{
    return d->points.at(index);
}

int TrendSeries::firstAtOrAfter(qint64 timeMs) const
{
    return d->points.firstAtOrAfter(timeMs);
}

int TrendSeries::lastAtOrBefore(qint64 timeMs) const
{
    return d->points.lastAtOrBefore(timeMs);
}

int TrendSeries::thinOlderHalf()
{
    const int before = count();
    if (before < TrendSeriesPrivate::minPointsToThin)
        return 0;
    const int split = before / 2;
    const qint64 widthMs = d->bucketWidthFor(split);
    const qint64 untilMs = d->points.at(split - 1).timeMs;
    d->points = d->thinnedBefore(split, widthMs);
    d->thinnedUntilMs = std::max(d->thinnedUntilMs, untilMs);
    d->bucketWidthMs = widthMs;
    return before - count();
}

qint64 TrendSeries::thinnedUntilMs() const
{
    return d->thinnedUntilMs;
}

qint64 TrendSeries::bucketWidthMs() const
{
    return d->bucketWidthMs;
}

qint64 TrendSeries::bytesUsed() const
{
    return d->points.bytesUsed();
}
