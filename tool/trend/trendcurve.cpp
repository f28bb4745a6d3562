#include "trendcurve.h"

#include "trendcurvedata.h"

#include <cmath>

TrendCurve::TrendCurve(const TrendRecorder *recorder, const TrendCurveKey &key, const QString &name)
    : QwtPlotCurve(name)
    , m_key(key)
    , m_name(name)
    , m_data(new TrendCurveData(recorder, key))
{
    setData(m_data);
    setRenderHint(QwtPlotItem::RenderAntialiased, false);
    if (key.bit >= 0)
        setStyle(QwtPlotCurve::Steps);
}

const TrendCurveKey &TrendCurve::key() const
{
    return m_key;
}

const QString &TrendCurve::name() const
{
    return m_name;
}

TrendCurveData *TrendCurve::curveData() const
{
    return m_data;
}

void TrendCurve::drawSeries(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                            const QRectF &canvasRect, int from, int to) const
{
    if (to < 0)
        to = int(dataSize()) - 1;
    int runStart = from;
    for (int index = from; index <= to + 1; ++index) {
        const bool runEnds = index > to || std::isnan(sample(index).y());
        if (!runEnds)
            continue;
        if (index > runStart)
            QwtPlotCurve::drawSeries(painter, xMap, yMap, canvasRect, runStart, index - 1);
        runStart = index + 1;
    }
}
