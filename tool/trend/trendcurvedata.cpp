#include "trendcurvedata.h"

#include "trendrecorder.h"
#include "trendseries.h"

#include <algorithm>
#include <cmath>
#include <limits>

TrendCurveData::TrendCurveData(const TrendRecorder *recorder, const TrendCurveKey &key)
    : m_recorder(recorder)
    , m_key(key)
{
}

void TrendCurveData::refresh(double fromMs, double toMs, int buckets)
{
    m_points.clear();
    m_anyValue = false;
    const TrendSeries &kept = series();
    if (kept.count() == 0 || toMs <= fromMs || buckets < 1)
        return;
    // One point either side of the view, so that lines run to its edges.
    const int first = std::max(0, kept.firstAtOrAfter(qint64(std::floor(fromMs))) - 1);
    const int last = std::min(kept.count() - 1, kept.lastAtOrBefore(qint64(std::ceil(toMs))) + 1);
    if (last - first < 2 * buckets)
        addKept(first, last);
    else
        addBuckets(first, last, (toMs - fromMs) / buckets);
}

void TrendCurveData::setOffset(double offset)
{
    m_offset = offset;
}

size_t TrendCurveData::size() const
{
    return size_t(m_points.size());
}

QPointF TrendCurveData::sample(size_t index) const
{
    return m_points.at(int(index));
}

QRectF TrendCurveData::boundingRect() const
{
    // Qwt's mark of a series with nothing to bound.
    return m_anyValue ? m_bounds : QRectF(1.0, 1.0, -2.0, -2.0);
}

const TrendSeries &TrendCurveData::series() const
{
    return m_recorder->series(m_key.source, m_key.variable);
}

void TrendCurveData::addKept(int first, int last)
{
    const TrendSeries &kept = series();
    for (int index = first; index <= last; ++index)
        addSample(m_key.view(kept.at(index)));
}

void TrendCurveData::addBuckets(int first, int last, double bucketMs)
{
    const TrendSeries &kept = series();
    int index = first;
    while (index <= last) {
        const qint64 bucketStartMs = kept.at(index).timeMs;
        const int next = std::min(last + 1, std::max(index + 1, kept.firstAtOrAfter(bucketStartMs + qint64(bucketMs) + 1)));
        const TrendSpan span = spanOf(index, next - 1);
        if (span.hasValue())
            addSample({bucketStartMs, span.min, span.max});
        if (span.gap)
            addPoint(kept.at(next - 1).timeMs, std::numeric_limits<double>::quiet_NaN());
        index = next;
    }
}

TrendSpan TrendCurveData::spanOf(int first, int last) const
{
    if (m_key.bit < 0)
        return series().span(first, last);
    TrendSpan span;
    for (int index = first; index <= last; ++index) {
        const TrendSample sample = m_key.view(series().at(index));
        span.take({sample.isGap() ? span.min : sample.min, sample.isGap() ? span.max : sample.max, sample.isGap()});
    }
    return span;
}

void TrendCurveData::addSample(const TrendSample &sample)
{
    addPoint(sample.timeMs, sample.min);
    if (sample.isEnvelope())
        addPoint(sample.timeMs, sample.max);
}

void TrendCurveData::addPoint(qint64 timeMs, double value)
{
    const QPointF point(double(timeMs), value + m_offset);
    m_points.append(point);
    if (std::isnan(value))
        return;
    if (!m_anyValue) {
        m_bounds = QRectF(point, QSizeF(0, 0));
        m_anyValue = true;
        return;
    }
    m_bounds.setLeft(std::min(m_bounds.left(), point.x()));
    m_bounds.setRight(std::max(m_bounds.right(), point.x()));
    m_bounds.setTop(std::min(m_bounds.top(), point.y()));
    m_bounds.setBottom(std::max(m_bounds.bottom(), point.y()));
}
