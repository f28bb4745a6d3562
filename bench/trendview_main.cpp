// The trend window's repaint after a pan or a zoom, with 20 curves of 1,000,000 recorded
// points each, offscreen: the plot fetches each curve's points for the visible time and
// paints them. Printed as the median of the repaints.
#include "resultrow.h"
#include "trendplot.h"
#include "trendrecorder.h"
#include "trendwindow.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>

#include <cmath>
#include <cstdio>

namespace {

constexpr int curveCount = 20;
constexpr int pointsPerCurve = 1000000;
constexpr int repaints = 40;
constexpr double targetMs = 50;
// Readings 100 ms apart: a little over a day of a fast cycle.
constexpr qint64 readingPeriodMs = 100;

int recordCurves(TrendRecorder &recorder)
{
    QVector<TrendVariable> variables;
    for (int curve = 0; curve < curveCount; ++curve)
        variables.append({QStringLiteral("V%1").arg(curve), false, 32});
    const int source = recorder.addSource(QStringLiteral("bench"), variables);
    for (int point = 0; point < pointsPerCurve; ++point) {
        for (int curve = 0; curve < curveCount; ++curve)
            recorder.append(source, curve, point * readingPeriodMs, std::sin(point * 0.001 + curve) * 100 + point % 13);
    }
    recorder.closeSource(source);
    return source;
}

double repaintMs(TrendPlot *plot)
{
    QElapsedTimer timer;
    timer.start();
    plot->replot();
    return double(timer.nsecsElapsed()) / 1e6;
}

// Alternates zooming out to the whole record, panning across it and zooming in to a tenth.
QVector<double> panAndZoom(TrendPlot *plot)
{
    const double endMs = double(pointsPerCurve) * readingPeriodMs;
    QVector<double> timesMs;
    for (int step = 0; step < repaints; ++step) {
        const double width = step % 2 == 0 ? endMs : endMs / 10;
        const double from = (endMs - width) * double(step % 7) / 6;
        plot->setAxisScale(QwtPlot::xBottom, from, from + width);
        timesMs.append(repaintMs(plot));
    }
    return timesMs;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TrendRecorder recorder;
    // Large enough to keep every point: the repaint is measured on the full count.
    recorder.setBudgetBytes(qint64(2) << 30);
    const int source = recordCurves(recorder);
    TrendWindow window(&recorder);
    window.resize(1280, 800);
    window.show();
    for (int curve = 0; curve < curveCount; ++curve)
        window.showCurve({source, curve, -1});
    window.findChild<QAction *>(QStringLiteral("actionPause"))->setChecked(true);
    const double medianMs = ResultRow::median(panAndZoom(window.plot()));
    ResultRow{QStringLiteral("Trend repaint after pan or zoom, %1 curves x %2 points (median ms)")
                  .arg(curveCount)
                  .arg(pointsPerCurve),
              ResultRow::number(medianMs, 1), QString(), QString(), QStringLiteral("< %1 ms").arg(targetMs),
              ResultRow::verdict(medianMs < targetMs)}
        .print();
    return 0;
}
