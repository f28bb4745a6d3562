#ifndef TRENDCURVE_H
#define TRENDCURVE_H

#include "trendcurvekey.h"

#include <qwt_plot_curve.h>

class TrendCurveData;
class TrendRecorder;

// One recorded variable, or one bit of it, on the plot. Its line breaks where a read
// failed instead of bridging the gap.
class TrendCurve : public QwtPlotCurve
{
public:
    TrendCurve(const TrendRecorder *recorder, const TrendCurveKey &key, const QString &name);

    const TrendCurveKey &key() const;
    const QString &name() const;
    TrendCurveData *curveData() const;

protected:
    void drawSeries(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap, const QRectF &canvasRect,
                    int from, int to) const override;

private:
    TrendCurveKey m_key;
    QString m_name;
    // Owned by the curve, as every series Qwt draws.
    TrendCurveData *m_data;
};

#endif // TRENDCURVE_H
