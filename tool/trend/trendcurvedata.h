#ifndef TRENDCURVEDATA_H
#define TRENDCURVEDATA_H

#include "trendcurvekey.h"
#include "trendspan.h"

#include <QVector>

#include <qwt_series_data.h>

class TrendRecorder;
class TrendSeries;

// The points one curve draws of its series over the visible time: every kept point when
// they are few, else one min/max pair per bucket of time, so that drawing costs the
// same for a minute and for a day. A point with a NaN value breaks the line (a gap).
class TrendCurveData : public QwtSeriesData<QPointF>
{
public:
    TrendCurveData(const TrendRecorder *recorder, const TrendCurveKey &key);

    // x in milliseconds since the epoch.
    void refresh(double fromMs, double toMs, int buckets);
    // Shifts every drawn value, so that stepped bit lines do not lie on each other.
    void setOffset(double offset);

    size_t size() const override;
    QPointF sample(size_t index) const override;
    QRectF boundingRect() const override;

private:
    const TrendSeries &series() const;
    void addKept(int first, int last);
    void addBuckets(int first, int last, double bucketMs);
    TrendSpan spanOf(int first, int last) const;
    void addPoint(qint64 timeMs, double value);
    void addSample(const TrendSample &sample);

    const TrendRecorder *m_recorder;
    TrendCurveKey m_key;
    double m_offset = 0;
    QVector<QPointF> m_points;
    QRectF m_bounds;
    bool m_anyValue = false;
};

#endif // TRENDCURVEDATA_H
