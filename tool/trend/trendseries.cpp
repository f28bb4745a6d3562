#include "trendseries.h"

#include <algorithm>
#include <limits>

class TrendSeriesPrivate
{
public:
    std::vector<TrendSample> samples;
};

TrendSeries::TrendSeries()
    : d(std::make_unique<TrendSeriesPrivate>())
{
}

TrendSeries::~TrendSeries() = default;
TrendSeries::TrendSeries(TrendSeries &&other) noexcept = default;
TrendSeries &TrendSeries::operator=(TrendSeries &&other) noexcept = default;

void TrendSeries::append(qint64 timeMs, double value)
{
    if (!d->samples.empty())
        timeMs = std::max(timeMs, d->samples.back().timeMs);
    d->samples.push_back({timeMs, value, value});
}

void TrendSeries::appendGap(qint64 timeMs)
{
    if (!d->samples.empty() && d->samples.back().isGap())
        return;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    if (!d->samples.empty())
        timeMs = std::max(timeMs, d->samples.back().timeMs);
    d->samples.push_back({timeMs, nan, nan});
}

int TrendSeries::count() const
{
    return int(d->samples.size());
}

TrendSample TrendSeries::at(int index) const
{
    return d->samples.at(std::size_t(index));
}

int TrendSeries::firstAtOrAfter(qint64 timeMs) const
{
    const auto found = std::lower_bound(d->samples.cbegin(), d->samples.cend(), timeMs,
                                        [](const TrendSample &sample, qint64 time) { return sample.timeMs < time; });
    return int(found - d->samples.cbegin());
}

int TrendSeries::lastAtOrBefore(qint64 timeMs) const
{
    const auto found = std::upper_bound(d->samples.cbegin(), d->samples.cend(), timeMs,
                                        [](qint64 time, const TrendSample &sample) { return time < sample.timeMs; });
    return int(found - d->samples.cbegin()) - 1;
}

int TrendSeries::thinOlderHalf()
{
    return 0;
}

qint64 TrendSeries::bytesUsed() const
{
    return qint64(d->samples.capacity() * sizeof(TrendSample));
}
