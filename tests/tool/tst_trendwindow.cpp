#include "trendcurve.h"
#include "trendcurvedata.h"
#include "trendplot.h"
#include "trendrecorder.h"
#include "trendseries.h"
#include "trendwindow.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolBar>
#include <QTreeWidget>
#include <QtTest>

#include <qwt_legend.h>
#include <qwt_legend_label.h>
#include <qwt_plot_canvas.h>
#include <qwt_scale_map.h>

#include <cmath>
#include <limits>
#include <memory>

namespace {

const double gap = std::numeric_limits<double>::quiet_NaN();
const qint64 startMs = QDateTime::currentMSecsSinceEpoch() - 60 * 1000;

// Recorded one a second from startMs: a NaN is a failed read.
const QVector<double> temperature{10, 12, 11, 15, gap, 14, 9, 13, 16, 12};
const QVector<double> flags{0x1, 0x3, 0x2, 0x2, 0x0, 0x1, 0x1, 0x3, 0x2, 0x0};

qint64 secondMs(int second)
{
    return startMs + 1000 * second;
}

void record(TrendRecorder *recorder, int source, int variable, const QVector<double> &values)
{
    for (int second = 0; second < values.size(); ++second) {
        if (std::isnan(values.at(second)))
            recorder->appendGap(source, variable, secondMs(second));
        else
            recorder->append(source, variable, secondMs(second), values.at(second));
    }
}

// QTest's mouseMove carries no buttons, and a rubber band follows only a drag.
void dragWithShift(QWidget *widget, const QPoint &from, const QPoint &to)
{
    const auto send = [widget](QEvent::Type type, const QPoint &at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton, buttons, Qt::ShiftModifier);
        QCoreApplication::sendEvent(widget, &event);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton);
    send(QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
    send(QEvent::MouseMove, to, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, to, Qt::NoButton);
}

QString cell(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text() : QString();
}

} // namespace

class TestTrendWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void markerStatistics_data();
    void markerStatistics();
    void cursorReadsEveryCurve();
    void legendHidesACurve();
    void secondAxisTakesTheChosenCurve();
    void rubberBandZoomsAndAutoscaleReturns();
    void pauseHoldsTheViewWhileRecordingGoesOn();
    void gapBreaksTheLine();
    void decimationKeepsASpike();
    void imageExport_data();
    void imageExport();
    void closedSourceKeepsItsCurves();
    void csvExportOpensAsTheSameCurves();
    void csvExportOfSeveralSourcesWritesAFileEach();

private:
    QTableWidget *statistics() const { return m_window->findChild<QTableWidget *>(QStringLiteral("markerStats")); }
    TrendCurve *onlyCurve() const { return m_window->plot()->trendCurves().value(0); }

    std::unique_ptr<TrendRecorder> m_recorder;
    TrendWindow *m_window = nullptr;
    int m_source = -1;
};

void TestTrendWindow::init()
{
    m_recorder = std::make_unique<TrendRecorder>();
    m_source = m_recorder->addSource(QStringLiteral("Котёл"), {{QStringLiteral("T"), false, 16},
                                                                {QStringLiteral("Flags"), true, 16}});
    record(m_recorder.get(), m_source, 0, temperature);
    record(m_recorder.get(), m_source, 1, flags);
    for (int second = 0; second < temperature.size(); ++second)
        m_recorder->endCycle(m_source, secondMs(second), 5);
    m_window = new TrendWindow(m_recorder.get());
    m_window->resize(1000, 700);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void TestTrendWindow::cleanup()
{
    delete m_window;
    m_recorder.reset();
}

void TestTrendWindow::markerStatistics_data()
{
    QTest::addColumn<int>("bit");
    QTest::addColumn<int>("firstMs");
    QTest::addColumn<int>("secondMs");
    QTest::addColumn<QStringList>("expected");

    // Seconds 1 to 8 of T: 12 11 15 (gap) 14 9 13 16; mean of the seven readings 90/7.
    QTest::newRow("across a gap") << -1 << 1000 << 8000
                                  << QStringList{"T", "12", "16", "9", "16", "12.85714", "4"};
    QTest::newRow("markers the other way round") << -1 << 8000 << 1000
                                                 << QStringList{"T", "16", "12", "9", "16", "12.85714", "-4"};
    // A marker reads the reading before it; at the gap there is no value.
    QTest::newRow("marker on a gap") << -1 << 4000 << 6000 << QStringList{"T", "—", "9", "9", "14", "11.5", "—"};
    // From the 11 held at 2.5 s to the 9 held at 6.5 s: 11 15 (gap) 14 9.
    QTest::newRow("markers between readings") << -1 << 2500 << 6500
                                              << QStringList{"T", "11", "9", "9", "15", "12.25", "-2"};
    // Bit 1 of flags 3 2 2 0 1 1 3 over seconds 1 to 7: 1 1 1 0 0 0 1, mean 4/7.
    QTest::newRow("one bit") << 1 << 1000 << 7000 << QStringList{"Flags.1", "1", "1", "0", "1", "0.5714286", "0"};
}

void TestTrendWindow::markerStatistics()
{
    QFETCH(int, bit);
    QFETCH(int, firstMs);
    QFETCH(int, secondMs);
    QFETCH(QStringList, expected);

    m_window->showCurve({m_source, bit < 0 ? 0 : 1, bit});
    m_window->placeMarker(0, startMs + firstMs);
    QCOMPARE(statistics()->rowCount(), 0);
    m_window->placeMarker(1, startMs + secondMs);

    QCOMPARE(statistics()->rowCount(), 1);
    QStringList shown;
    for (int column = 0; column < expected.size(); ++column)
        shown.append(cell(statistics(), 0, column));
    QCOMPARE(shown, expected);
    const QString span = m_window->findChild<QLabel *>(QStringLiteral("markerSpan"))->text();
    QVERIFY2(span.contains(QStringLiteral("%1 с").arg(double(secondMs - firstMs) / 1000, 0, 'f', 3)), qPrintable(span));
}

void TestTrendWindow::cursorReadsEveryCurve()
{
    m_window->setTimeWindow(0);
    m_window->showCurve({m_source, 0, -1});
    m_window->showCurve({m_source, 1, 0});
    TrendPlot *plot = m_window->plot();
    // Halfway between seconds 3 and 4: the readings of second 3 hold.
    const int x = int(plot->canvasMap(QwtPlot::xBottom).transform(double(secondMs(3) + 500)));
    QTest::mouseMove(plot->canvas(), QPoint(x, plot->canvas()->height() / 2));

    QTRY_COMPARE(plot->trendCurves().at(0)->title().text(), QStringLiteral("T: 15"));
    QCOMPARE(plot->trendCurves().at(1)->title().text(), QStringLiteral("Flags.0: 0"));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(plot->canvas(), &leave);
    QCOMPARE(plot->trendCurves().at(0)->title().text(), QStringLiteral("T: 12"));
}

void TestTrendWindow::legendHidesACurve()
{
    m_window->showCurve({m_source, 0, -1});
    m_window->placeMarker(0, secondMs(0));
    m_window->placeMarker(1, secondMs(9));
    QCOMPARE(statistics()->rowCount(), 1);
    auto *legend = qobject_cast<QwtLegend *>(m_window->plot()->legend());
    auto *entry = qobject_cast<QwtLegendLabel *>(legend->legendWidget(m_window->plot()->itemToInfo(onlyCurve())));
    QVERIFY(entry && entry->isChecked());

    QTest::mouseClick(entry, Qt::LeftButton);

    QVERIFY(!onlyCurve()->isVisible());
    QCOMPARE(statistics()->rowCount(), 0);
}

void TestTrendWindow::secondAxisTakesTheChosenCurve()
{
    m_window->showCurve({m_source, 0, -1});
    auto *list = m_window->findChild<QTreeWidget *>(QStringLiteral("variableList"));
    QTreeWidgetItem *item = list->topLevelItem(0)->child(0);
    QCOMPARE(item->checkState(0), Qt::Checked);

    item->setCheckState(1, Qt::Checked);

    QCOMPARE(onlyCurve()->yAxis(), int(QwtPlot::yRight));
    QVERIFY(m_window->plot()->axisEnabled(QwtPlot::yRight));
    item->setCheckState(1, Qt::Unchecked);
    QVERIFY(!m_window->plot()->axisEnabled(QwtPlot::yRight));
}

void TestTrendWindow::rubberBandZoomsAndAutoscaleReturns()
{
    m_window->setTimeWindow(0);
    m_window->showCurve({m_source, 0, -1});
    TrendPlot *plot = m_window->plot();
    QWidget *canvas = plot->canvas();
    const QwtScaleMap xMap = plot->canvasMap(QwtPlot::xBottom);
    const QPoint from(int(xMap.transform(double(secondMs(2)))), canvas->height() / 4);
    const QPoint to(int(xMap.transform(double(secondMs(5)))), 3 * canvas->height() / 4);

    dragWithShift(canvas, from, to);

    const QwtInterval zoomed = plot->axisInterval(QwtPlot::xBottom);
    QVERIFY(std::abs(zoomed.minValue() - double(secondMs(2))) < 200);
    QVERIFY(std::abs(zoomed.maxValue() - double(secondMs(5))) < 200);
    m_recorder->append(m_source, 0, secondMs(30), 20);
    m_recorder->endCycle(m_source, secondMs(30), 5);
    QTest::qWait(400);
    QCOMPARE(plot->axisInterval(QwtPlot::xBottom).maxValue(), zoomed.maxValue());

    QTest::mouseClick(m_window->findChild<QToolBar *>()->widgetForAction(
                          m_window->findChild<QAction *>(QStringLiteral("actionAutoscale"))),
                      Qt::LeftButton);
    QVERIFY(plot->axisInterval(QwtPlot::xBottom).maxValue() >= double(secondMs(30)));
}

void TestTrendWindow::pauseHoldsTheViewWhileRecordingGoesOn()
{
    m_window->setTimeWindow(0);
    m_window->showCurve({m_source, 0, -1});
    auto *pause = m_window->findChild<QAction *>(QStringLiteral("actionPause"));
    pause->trigger();
    const int drawnBefore = int(onlyCurve()->dataSize());

    m_recorder->append(m_source, 0, secondMs(20), 30);
    m_recorder->endCycle(m_source, secondMs(20), 5);
    QTest::qWait(400);
    QCOMPARE(int(onlyCurve()->dataSize()), drawnBefore);
    QCOMPARE(m_recorder->series(m_source, 0).count(), temperature.size() + 1);

    pause->trigger();
    QCOMPARE(int(onlyCurve()->dataSize()), drawnBefore + 1);
}

void TestTrendWindow::gapBreaksTheLine()
{
    m_window->setTimeWindow(0);
    m_window->showCurve({m_source, 0, -1});
    const TrendCurveData *data = onlyCurve()->curveData();
    QCOMPARE(int(data->size()), temperature.size());
    QVERIFY(std::isnan(data->sample(4).y()));
    QCOMPARE(data->boundingRect().top(), 9.0);
    QCOMPARE(data->boundingRect().bottom(), 16.0);
}

void TestTrendWindow::decimationKeepsASpike()
{
    const int source = m_recorder->addSource(QStringLiteral("Быстрый"), {{QStringLiteral("P"), false, 16}});
    const int points = 200000;
    for (int index = 0; index < points; ++index)
        m_recorder->append(source, 0, startMs + index, index == 123457 ? 1e6 : double(index % 7));
    TrendCurveData data(m_recorder.get(), {source, 0, -1});

    data.refresh(double(startMs), double(startMs + points), 500);

    QVERIFY(data.size() <= 2 * 500 + 4);
    QCOMPARE(data.boundingRect().bottom(), 1e6);
    QCOMPARE(data.boundingRect().top(), 0.0);
}

void TestTrendWindow::imageExport_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("startsWith");
    QTest::newRow("png") << "trend.png" << QByteArray("\x89PNG");
    QTest::newRow("svg") << "trend.svg" << QByteArray("<?xml");
}

void TestTrendWindow::imageExport()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, startsWith);
    QTemporaryDir dir;
    m_window->showCurve({m_source, 0, -1});
    QString errorText;

    QVERIFY2(m_window->exportImage(dir.filePath(fileName), &errorText), qPrintable(errorText));

    QFile image(dir.filePath(fileName));
    QVERIFY(image.open(QIODevice::ReadOnly));
    QVERIFY(image.size() > 1000);
    QVERIFY(image.read(startsWith.size()) == startsWith);
    QVERIFY(!m_window->exportImage(dir.filePath(QStringLiteral("trend.bmp")), &errorText));
}

void TestTrendWindow::closedSourceKeepsItsCurves()
{
    m_window->setTimeWindow(0);
    m_window->showCurve({m_source, 0, -1});
    m_recorder->closeSource(m_source);
    m_recorder->endCycle(m_source, secondMs(9), 5);

    QTRY_COMPARE(int(onlyCurve()->dataSize()), temperature.size());
    auto *list = m_window->findChild<QTreeWidget *>(QStringLiteral("variableList"));
    QVERIFY(list->topLevelItem(0)->text(0).contains(QStringLiteral("закрыто")));
}

void TestTrendWindow::csvExportOpensAsTheSameCurves()
{
    m_window->showCurve({m_source, 0, -1});
    m_window->showCurve({m_source, 1, 1});
    m_window->placeMarker(0, secondMs(2));
    m_window->placeMarker(1, secondMs(7));
    QTemporaryDir dir;
    QString errorText;

    const QStringList written = m_window->exportCsv(dir.filePath(QStringLiteral("between.csv")), true, &errorText);
    QCOMPARE(written, QStringList{dir.filePath(QStringLiteral("between.csv"))});
    const int opened = m_window->openCsv(written.first(), &errorText);
    QVERIFY2(opened >= 0, qPrintable(errorText));

    // Seconds 2 to 7 of both variables, the gap at second 4 an empty cell.
    QCOMPARE(m_recorder->variables(opened).size(), 2);
    const TrendSeries &temperatures = m_recorder->series(opened, 0);
    QCOMPARE(temperatures.count(), 6);
    for (int second = 2; second <= 7; ++second) {
        const TrendSample sample = temperatures.at(second - 2);
        QCOMPARE(sample.timeMs, secondMs(second));
        QCOMPARE(sample.isGap(), std::isnan(temperature.at(second)));
        if (!sample.isGap())
            QCOMPARE(sample.min, temperature.at(second));
    }
    QCOMPARE(m_window->plot()->trendCurves().size(), 4);
    m_window->showCurve({m_source, 0, -1}, false);
    m_window->showCurve({m_source, 1, 1}, false);
    const QStringList again = m_window->exportCsv(dir.filePath(QStringLiteral("again.csv")), false, &errorText);
    QFile first(written.first());
    QFile second(again.value(0));
    QVERIFY(first.open(QIODevice::ReadOnly) && second.open(QIODevice::ReadOnly));
    QCOMPARE(second.readAll(), first.readAll());
}

void TestTrendWindow::csvExportOfSeveralSourcesWritesAFileEach()
{
    const int other = m_recorder->addSource(QStringLiteral("Насос/2"), {{QStringLiteral("P"), false, 16}});
    m_recorder->append(other, 0, secondMs(1), 3);
    m_recorder->endCycle(other, secondMs(1), 4);
    m_window->showCurve({m_source, 0, -1});
    m_window->showCurve({other, 0, -1});
    QTemporaryDir dir;
    QString errorText;

    const QStringList written = m_window->exportCsv(dir.filePath(QStringLiteral("log.csv")), false, &errorText);

    QCOMPARE(written, (QStringList{dir.filePath(QStringLiteral("log-Котёл.csv")),
                                   dir.filePath(QStringLiteral("log-Насос_2.csv"))}));
    QVERIFY(m_window->exportCsv(dir.filePath(QStringLiteral("none.csv")), true, &errorText).isEmpty());
    QVERIFY(errorText.contains(QStringLiteral("маркер")));
}

QTEST_MAIN(TestTrendWindow)
#include "tst_trendwindow.moc"
