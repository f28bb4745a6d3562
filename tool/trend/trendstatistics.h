#ifndef TRENDSTATISTICS_H
#define TRENDSTATISTICS_H

#include "trendcurvekey.h"

#include <QtGlobal>

class TrendSeries;

// What a curve did between two moments. Values are NaN where there is nothing to tell
// (a gap at a moment, no reading between them).
struct TrendStatistics
{
    double atStart = 0;
    double atEnd = 0;
    double min = 0;
    double max = 0;
    // Of the readings from the one held at the start to the end; a thinned envelope counts
    // as its middle.
    double mean = 0;

    // The value a curve shows at a moment: its last reading at or before it.
    static double valueAt(const TrendSeries &series, const TrendCurveKey &key, qint64 timeMs);
    static TrendStatistics between(const TrendSeries &series, const TrendCurveKey &key, qint64 startMs,
                                   qint64 endMs);
};

#endif // TRENDSTATISTICS_H
