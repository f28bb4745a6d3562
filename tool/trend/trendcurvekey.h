#ifndef TRENDCURVEKEY_H
#define TRENDCURVEKEY_H

#include "trendsample.h"

#include <QMetaType>

// What one curve draws: a variable of a recorder source, or one bit of a bit field.
struct TrendCurveKey
{
    int source = -1;
    int variable = -1;
    // -1 for the whole value.
    int bit = -1;

    bool operator==(const TrendCurveKey &other) const
    {
        return source == other.source && variable == other.variable && bit == other.bit;
    }

    // The kept sample as this curve shows it: for a bit, 0 or 1, or both (0 to 1) for an
    // envelope, whose min and max tell nothing of the bits between them.
    TrendSample view(const TrendSample &sample) const;
};

Q_DECLARE_METATYPE(TrendCurveKey)

#endif // TRENDCURVEKEY_H
