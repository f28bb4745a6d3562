#ifndef TRENDPLOT_H
#define TRENDPLOT_H

#include <qwt_interval.h>
#include <qwt_plot.h>

class TrendCurve;

// A plot over time (local time on the x axis, in milliseconds since the epoch) whose
// curves fetch their points for the visible time before each drawing.
class TrendPlot : public QwtPlot
{
    Q_OBJECT

public:
    explicit TrendPlot(QWidget *parent = nullptr);

    QList<TrendCurve *> trendCurves() const;
    // New readings or curves: the next drawing fetches the points again.
    void markDataChanged();

public slots:
    void replot() override;

private:
    void refreshCurves();

    bool m_dataChanged = true;
    QwtInterval m_refreshedTime;
    int m_refreshedBuckets = 0;
};

#endif // TRENDPLOT_H
