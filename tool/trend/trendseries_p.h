#ifndef TRENDSERIES_P_H
#define TRENDSERIES_P_H

#include "trendchunklist.h"

class TrendSeriesPrivate
{
public:
    // The older half shrinks about this many times at each thinning.
    static constexpr int foldFactor = 8;
    // Fewer points than this are not worth thinning.
    static constexpr int minPointsToThin = 4;

    qint64 bucketWidthFor(int olderCount) const;
    // The points before the split folded at the width, the rest moved over.
    TrendChunkList thinnedBefore(int split, qint64 widthMs);

    TrendChunkList points;
    qint64 thinnedUntilMs = 0;
    qint64 bucketWidthMs = 0;
};

#endif // TRENDSERIES_P_H
