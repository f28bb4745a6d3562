#include "trendstatistics.h"

#include "trendseries.h"

#include <algorithm>
#include <limits>

namespace {

const double nothing = std::numeric_limits<double>::quiet_NaN();

} // namespace

double TrendStatistics::valueAt(const TrendSeries &series, const TrendCurveKey &key, qint64 timeMs)
{
    const int index = series.lastAtOrBefore(timeMs);
    if (index < 0)
        return nothing;
    const TrendSample sample = key.view(series.at(index));
    return sample.isEnvelope() ? (sample.min + sample.max) / 2 : sample.min;
}

TrendStatistics TrendStatistics::between(const TrendSeries &series, const TrendCurveKey &key, qint64 startMs,
                                         qint64 endMs)
{
    if (endMs < startMs)
        std::swap(startMs, endMs);
    TrendStatistics statistics;
    statistics.atStart = valueAt(series, key, startMs);
    statistics.atEnd = valueAt(series, key, endMs);
    statistics.min = std::numeric_limits<double>::infinity();
    statistics.max = -std::numeric_limits<double>::infinity();
    double sum = 0;
    int readings = 0;
    const int last = series.lastAtOrBefore(endMs);
    // From the value held at the start, so that no column shows a value outside min and max.
    const int heldAtStart = series.lastAtOrBefore(startMs);
    const int first = heldAtStart >= 0 ? heldAtStart : series.firstAtOrAfter(startMs);
    for (int index = first; index <= last; ++index) {
        const TrendSample sample = key.view(series.at(index));
        if (sample.isGap())
            continue;
        statistics.min = std::min(statistics.min, sample.min);
        statistics.max = std::max(statistics.max, sample.max);
        sum += (sample.min + sample.max) / 2;
        ++readings;
    }
    if (readings == 0) {
        statistics.min = statistics.max = statistics.mean = nothing;
        return statistics;
    }
    statistics.mean = sum / readings;
    return statistics;
}
