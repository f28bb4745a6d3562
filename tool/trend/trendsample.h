#ifndef TRENDSAMPLE_H
#define TRENDSAMPLE_H

#include <QtGlobal>

#include <cmath>

// One kept point of a recorded series: a reading (min equals max), an envelope of
// readings thinned into one time bucket (min and max of all of them, at the time of the
// first), or a gap where a read failed (min and max not a number).
struct TrendSample
{
    qint64 timeMs = 0;
    double min = 0;
    double max = 0;

    bool isGap() const { return std::isnan(min); }
    bool isEnvelope() const { return min != max && !isGap(); }
};

#endif // TRENDSAMPLE_H
