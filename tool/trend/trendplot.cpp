#include "trendplot.h"

#include "trendcurve.h"
#include "trendcurvedata.h"

#include <qwt_date_scale_draw.h>
#include <qwt_date_scale_engine.h>
#include <qwt_plot_canvas.h>

#include <algorithm>

namespace {

// Two buckets a pixel: a bucket's min and max make the vertical stroke of that column.
constexpr int bucketsPerPixel = 2;

} // namespace

TrendPlot::TrendPlot(QWidget *parent)
    : QwtPlot(parent)
{
    auto *timeLabels = new QwtDateScaleDraw(Qt::LocalTime);
    timeLabels->setDateFormat(QwtDate::Millisecond, QStringLiteral("hh:mm:ss.zzz"));
    timeLabels->setDateFormat(QwtDate::Second, QStringLiteral("hh:mm:ss"));
    timeLabels->setDateFormat(QwtDate::Minute, QStringLiteral("hh:mm"));
    timeLabels->setDateFormat(QwtDate::Hour, QStringLiteral("hh:mm"));
    timeLabels->setDateFormat(QwtDate::Day, QStringLiteral("dd.MM"));
    timeLabels->setDateFormat(QwtDate::Week, QStringLiteral("dd.MM"));
    setAxisScaleDraw(QwtPlot::xBottom, timeLabels);
    setAxisScaleEngine(QwtPlot::xBottom, new QwtDateScaleEngine(Qt::LocalTime));
    setAxisAutoScale(QwtPlot::xBottom, false);
    setCanvasBackground(Qt::white);
}

QList<TrendCurve *> TrendPlot::trendCurves() const
{
    QList<TrendCurve *> curves;
    for (QwtPlotItem *item : itemList(QwtPlotItem::Rtti_PlotCurve)) {
        if (auto *curve = dynamic_cast<TrendCurve *>(item))
            curves.append(curve);
    }
    return curves;
}

void TrendPlot::markDataChanged()
{
    m_dataChanged = true;
}

void TrendPlot::replot()
{
    // A scale just set takes effect in updateAxes(); the curves need the new one.
    updateAxes();
    refreshCurves();
    QwtPlot::replot();
}

void TrendPlot::refreshCurves()
{
    const QwtInterval visible = axisInterval(QwtPlot::xBottom);
    const int buckets = std::max(1, canvas()->width() * bucketsPerPixel);
    // The cursor moving over the plot repaints it without fetching anything.
    if (!m_dataChanged && visible == m_refreshedTime && buckets == m_refreshedBuckets)
        return;
    m_dataChanged = false;
    m_refreshedTime = visible;
    m_refreshedBuckets = buckets;
    for (TrendCurve *curve : trendCurves())
        curve->curveData()->refresh(visible.minValue(), visible.maxValue(), buckets);
}
