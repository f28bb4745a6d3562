#ifndef TRENDSPAN_H
#define TRENDSPAN_H

#include <algorithm>
#include <limits>

// The range of values over a run of kept points, and whether a gap lies among them.
struct TrendSpan
{
    double min = std::numeric_limits<double>::infinity();
    double max = -std::numeric_limits<double>::infinity();
    bool gap = false;

    bool hasValue() const { return min <= max; }
    void take(const TrendSpan &other)
    {
        min = std::min(min, other.min);
        max = std::max(max, other.max);
        gap = gap || other.gap;
    }
};

#endif // TRENDSPAN_H
