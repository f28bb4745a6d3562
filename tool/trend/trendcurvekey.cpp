#include "trendcurvekey.h"

namespace {

double bitOf(double value, int bit)
{
    return double((quint32(qint64(value)) >> bit) & 1u);
}

} // namespace

TrendSample TrendCurveKey::view(const TrendSample &sample) const
{
    if (bit < 0 || sample.isGap())
        return sample;
    if (sample.isEnvelope())
        return {sample.timeMs, 0, 1};
    const double state = bitOf(sample.min, bit);
    return {sample.timeMs, state, state};
}
