#include "trendwindow.h"
#include "ui_trendwindow.h"

#include "trendcurve.h"
#include "trendcurvedata.h"
#include "trendcsvreader.h"
#include "trendcsvwriter.h"
#include "trendcursor.h"
#include "trenddrag.h"
#include "trendplot.h"
#include "trendrecorder.h"
#include "trendseries.h"
#include "trendstatistics.h"
#include "trendstatisticstable.h"
#include "trendvalue.h"
#include "trendvariablelist.h"

#include <QComboBox>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMap>
#include <QMenu>

#include <qwt_legend.h>
#include <qwt_legend_label.h>
#include <qwt_picker_machine.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_magnifier.h>
#include <qwt_plot_panner.h>
#include <qwt_plot_picker.h>
#include <qwt_plot_renderer.h>
#include <qwt_scale_map.h>

#include <algorithm>

namespace {

constexpr int redrawPeriodMs = 200;
constexpr int maxCurvesShownOnOpen = 10;
constexpr qint64 minuteMs = 60 * 1000;
constexpr qint64 defaultWindowMs = 10 * minuteMs;
// Stepped bit lines are 1 high; stacked this far apart they never touch.
constexpr double bitLineSpacing = 1.25;

const QColor curveColours[] = {Qt::blue, Qt::red, Qt::darkGreen, Qt::magenta, Qt::darkCyan,
                               Qt::darkYellow, Qt::black, Qt::darkRed, Qt::darkBlue, Qt::darkMagenta};

QColor colourFor(int index)
{
    return curveColours[index % int(std::size(curveColours))];
}

} // namespace

TrendWindow::TrendWindow(TrendRecorder *recorder, QWidget *parent)
    : QMainWindow(parent)
    , m_ui(std::make_unique<Ui::TrendWindow>())
    , m_recorder(recorder)
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setAcceptDrops(true);
    m_variables = new TrendVariableList(m_ui->variableList, recorder);
    m_ui->splitter->setSizes({280, 920});
    m_ui->plotSplitter->setSizes({520, 180});
    m_plotMenu = new QMenu(this);
    m_plotMenu->addActions({m_ui->actionPlaceFirstMarker, m_ui->actionPlaceSecondMarker, m_ui->actionClearMarkers});
    m_cursor = new TrendCursor(m_ui->plot, m_plotMenu);
    m_statistics = std::make_unique<TrendStatisticsTable>(m_ui->markerStats, m_ui->markerSpan, recorder);
    m_legend = new QwtLegend;
    m_legend->setDefaultItemMode(QwtLegendData::Checkable);
    m_ui->plot->insertLegend(m_legend, QwtPlot::BottomLegend);
    m_ui->plot->enableAxis(QwtPlot::yRight, false);
    setUpTimeWindows();
    setUpInteraction();
    m_redraw.setSingleShot(true);
    m_redraw.setInterval(redrawPeriodMs);
    connect(&m_redraw, &QTimer::timeout, this, &TrendWindow::redraw);
    connect(m_legend, &QwtLegend::checked, this, &TrendWindow::legendChecked);
    connect(m_variables, &TrendVariableList::curveToggled, this,
            [this](const TrendCurveKey &key, bool shown) { shown ? addCurve(key) : removeCurve(key); });
    connect(m_variables, &TrendVariableList::rightAxisToggled, this, &TrendWindow::putOnRightAxis);
    connect(recorder, &TrendRecorder::cycleRecorded, this, &TrendWindow::newReadings);
    connect(m_cursor, &TrendCursor::cursorMoved, this, &TrendWindow::showValuesAt);
    connect(m_cursor, &TrendCursor::cursorLeft, this, &TrendWindow::showLiveValues);
    connect(m_cursor, &TrendCursor::markersChanged, this, &TrendWindow::updateStatistics);
    connect(m_cursor, &TrendCursor::viewTakenOver, this, &TrendWindow::takeOverView);
    redraw();
}

TrendWindow::~TrendWindow() = default;

void TrendWindow::showCurve(const TrendCurveKey &key, bool shown)
{
    m_variables->setShown(key, shown);
}

void TrendWindow::putOnRightAxis(const TrendCurveKey &key, bool right)
{
    TrendCurve *curve = curveOf(key);
    if (!curve)
        return;
    curve->setYAxis(right ? QwtPlot::yRight : QwtPlot::yLeft);
    const QList<TrendCurve *> curves = m_ui->plot->trendCurves();
    const bool anyRight = std::any_of(curves.cbegin(), curves.cend(),
                                      [](const TrendCurve *shown) { return shown->yAxis() == QwtPlot::yRight; });
    m_ui->plot->enableAxis(QwtPlot::yRight, anyRight);
    m_ui->plot->replot();
}

void TrendWindow::placeMarker(int marker, qint64 timeMs)
{
    m_cursor->placeMarker(marker, timeMs);
}

void TrendWindow::setTimeWindow(qint64 windowMs)
{
    m_windowMs = windowMs;
    const int choice = m_timeWindows->findData(windowMs);
    if (choice >= 0)
        m_timeWindows->setCurrentIndex(choice);
    m_following = true;
    redraw();
}

bool TrendWindow::exportImage(const QString &fileName, QString *errorText)
{
    const QString format = QFileInfo(fileName).suffix().toLower();
    if (format != QLatin1String("png") && format != QLatin1String("svg")) {
        *errorText = QStringLiteral("Изображение сохраняется в PNG или SVG: %1").arg(fileName);
        return false;
    }
    QFile::remove(fileName);
    // A4 landscape at screen resolution: a size that reads well in a report.
    QwtPlotRenderer().renderDocument(m_ui->plot, fileName, format, QSizeF(297, 210), 96);
    if (QFileInfo(fileName).size() > 0)
        return true;
    *errorText = QStringLiteral("Не удалось записать %1").arg(fileName);
    return false;
}

TrendPlot *TrendWindow::plot() const
{
    return m_ui->plot;
}

void TrendWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (TrendDrag::carriesCurves(event->mimeData()))
        event->acceptProposedAction();
}

void TrendWindow::dropEvent(QDropEvent *event)
{
    for (const TrendCurveKey &key : TrendDrag::curvesIn(event->mimeData()))
        showCurve(key);
    event->acceptProposedAction();
}

void TrendWindow::on_actionPause_toggled(bool paused)
{
    if (!paused)
        redraw();
}

void TrendWindow::on_actionAutoscale_triggered()
{
    m_following = true;
    m_ui->plot->setAxisAutoScale(QwtPlot::yLeft, true);
    m_ui->plot->setAxisAutoScale(QwtPlot::yRight, true);
    redraw();
}

void TrendWindow::on_actionExportImage_triggered()
{
    const QString fileName = QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить изображение"), QString(),
                                                          QStringLiteral("PNG (*.png);;SVG (*.svg)"));
    QString errorText;
    if (!fileName.isEmpty())
        status(exportImage(fileName, &errorText) ? QStringLiteral("График сохранён в %1").arg(fileName) : errorText);
}

QStringList TrendWindow::exportCsv(const QString &fileName, bool betweenMarkers, QString *errorText)
{
    qint64 fromMs = std::numeric_limits<qint64>::min();
    qint64 toMs = std::numeric_limits<qint64>::max();
    if (betweenMarkers) {
        if (!m_cursor->bothMarkersPlaced()) {
            *errorText = QStringLiteral("Поставьте оба маркера (правая кнопка мыши на графике)");
            return {};
        }
        fromMs = std::min(*m_cursor->markerTime(0), *m_cursor->markerTime(1));
        toMs = std::max(*m_cursor->markerTime(0), *m_cursor->markerTime(1));
    }
    const QMap<int, QVector<int>> bySource = visibleVariables();
    if (bySource.isEmpty()) {
        *errorText = QStringLiteral("Нет видимых кривых для экспорта");
        return {};
    }
    QStringList written;
    TrendCsvWriter writer(*m_recorder);
    for (auto entry = bySource.cbegin(); entry != bySource.cend(); ++entry) {
        const QString target = bySource.size() == 1 ? fileName : TrendCsvWriter::fileNameFor(fileName, m_recorder->sourceName(entry.key()));
        if (!writer.write(target, entry.key(), entry.value(), fromMs, toMs)) {
            *errorText = writer.errorText();
            return written;
        }
        written.append(target);
    }
    return written;
}

int TrendWindow::openCsv(const QString &fileName, QString *errorText)
{
    TrendCsvReader reader(*m_recorder);
    const int source = reader.read(fileName);
    if (source < 0) {
        *errorText = reader.errorText();
        return -1;
    }
    // A short record is shown whole at once; of a long one the engineer picks.
    const int variables = m_recorder->variables(source).size();
    for (int variable = 0; variables <= maxCurvesShownOnOpen && variable < variables; ++variable)
        showCurve({source, variable, -1});
    return source;
}

void TrendWindow::on_actionExportCsv_triggered()
{
    exportCsvFromDialog(false);
}

void TrendWindow::on_actionExportCsvBetweenMarkers_triggered()
{
    exportCsvFromDialog(true);
}

void TrendWindow::on_actionOpenCsv_triggered()
{
    const QString fileName = QFileDialog::getOpenFileName(this, QStringLiteral("Открыть запись CSV"), QString(),
                                                          QStringLiteral("CSV (*.csv)"));
    if (fileName.isEmpty())
        return;
    QString errorText;
    const int source = openCsv(fileName, &errorText);
    status(source < 0 ? errorText : QStringLiteral("Открыт %1").arg(fileName));
}

void TrendWindow::exportCsvFromDialog(bool betweenMarkers)
{
    const QString fileName = QFileDialog::getSaveFileName(this, QStringLiteral("Экспорт CSV"), QString(),
                                                          QStringLiteral("CSV (*.csv)"));
    if (fileName.isEmpty())
        return;
    QString errorText;
    const QStringList written = exportCsv(fileName, betweenMarkers, &errorText);
    status(errorText.isEmpty() ? QStringLiteral("Записано: %1").arg(written.join(QStringLiteral(", "))) : errorText);
}

QMap<int, QVector<int>> TrendWindow::visibleVariables() const
{
    QMap<int, QVector<int>> bySource;
    for (const TrendCurve *curve : m_ui->plot->trendCurves()) {
        QVector<int> &variables = bySource[curve->key().source];
        if (curve->isVisible() && !variables.contains(curve->key().variable))
            variables.append(curve->key().variable);
    }
    for (auto entry = bySource.begin(); entry != bySource.end();)
        entry = entry.value().isEmpty() ? bySource.erase(entry) : std::next(entry);
    return bySource;
}

void TrendWindow::on_actionPlaceFirstMarker_triggered()
{
    m_cursor->placeMarkerAtMenu(0);
}

void TrendWindow::on_actionPlaceSecondMarker_triggered()
{
    m_cursor->placeMarkerAtMenu(1);
}

void TrendWindow::on_actionClearMarkers_triggered()
{
    m_cursor->clearMarkers();
}

void TrendWindow::addCurve(const TrendCurveKey &key)
{
    if (curveOf(key))
        return;
    auto *curve = new TrendCurve(m_recorder, key, curveName(key));
    curve->setPen(colourFor(m_ui->plot->trendCurves().size()), 1.5);
    curve->attach(m_ui->plot);
    if (auto *entry = qobject_cast<QwtLegendLabel *>(m_legend->legendWidget(m_ui->plot->itemToInfo(curve))))
        entry->setChecked(true);
    spreadBitLines();
    m_ui->plot->markDataChanged();
    redraw();
}

void TrendWindow::removeCurve(const TrendCurveKey &key)
{
    delete curveOf(key);
    spreadBitLines();
    m_ui->plot->markDataChanged();
    redraw();
}

TrendCurve *TrendWindow::curveOf(const TrendCurveKey &key) const
{
    for (TrendCurve *curve : m_ui->plot->trendCurves()) {
        if (curve->key() == key)
            return curve;
    }
    return nullptr;
}

QString TrendWindow::curveName(const TrendCurveKey &key) const
{
    QString name = m_recorder->variables(key.source).at(key.variable).name;
    if (key.bit >= 0)
        name += QStringLiteral(".%1").arg(key.bit);
    if (m_recorder->sources().size() > 1)
        name += QStringLiteral(" (%1)").arg(m_recorder->sourceName(key.source));
    return name;
}

void TrendWindow::spreadBitLines()
{
    int bitLines = 0;
    for (TrendCurve *curve : m_ui->plot->trendCurves()) {
        if (curve->key().bit >= 0)
            curve->curveData()->setOffset(bitLineSpacing * bitLines++);
    }
}

void TrendWindow::setUpTimeWindows()
{
    m_timeWindows = new QComboBox(this);
    m_timeWindows->setObjectName(QStringLiteral("timeWindow"));
    m_timeWindows->setToolTip(QStringLiteral("Сколько последних минут показывать"));
    m_timeWindows->addItem(QStringLiteral("1 мин"), minuteMs);
    m_timeWindows->addItem(QStringLiteral("10 мин"), defaultWindowMs);
    m_timeWindows->addItem(QStringLiteral("1 ч"), 60 * minuteMs);
    m_timeWindows->addItem(QStringLiteral("8 ч"), 8 * 60 * minuteMs);
    m_timeWindows->addItem(QStringLiteral("Вся запись"), qint64(0));
    m_timeWindows->setCurrentIndex(1);
    m_windowMs = defaultWindowMs;
    m_ui->toolBar->insertWidget(m_ui->actionPause, m_timeWindows);
    connect(m_timeWindows, QOverload<int>::of(&QComboBox::activated), this,
            [this](int index) { setTimeWindow(m_timeWindows->itemData(index).toLongLong()); });
}

void TrendWindow::setUpInteraction()
{
    QWidget *canvas = m_ui->plot->canvas();
    auto *panner = new QwtPlotPanner(canvas);
    panner->setMouseButton(Qt::LeftButton);
    connect(panner, &QwtPlotPanner::panned, this, &TrendWindow::takeOverView);
    auto *magnifier = new QwtPlotMagnifier(canvas);
    // The right button opens the markers' menu.
    magnifier->setMouseButton(Qt::NoButton);
    auto *zoomer = new QwtPlotPicker(QwtPlot::xBottom, QwtPlot::yLeft, QwtPicker::RectRubberBand,
                                     QwtPicker::AlwaysOff, canvas);
    zoomer->setStateMachine(new QwtPickerDragRectMachine);
    zoomer->setMousePattern(QwtEventPattern::MouseSelect1, Qt::LeftButton, Qt::ShiftModifier);
    connect(zoomer, QOverload<const QRectF &>::of(&QwtPlotPicker::selected), this, &TrendWindow::zoomTo);
}

void TrendWindow::legendChecked(const QVariant &itemInfo, bool on)
{
    if (QwtPlotItem *item = m_ui->plot->infoToItem(itemInfo)) {
        item->setVisible(on);
        m_ui->plot->replot();
        updateStatistics();
    }
}

void TrendWindow::newReadings()
{
    if (!m_redraw.isActive())
        m_redraw.start();
}

void TrendWindow::redraw()
{
    if (m_ui->actionPause->isChecked())
        return;
    if (m_following)
        followRecording();
    m_ui->plot->markDataChanged();
    m_ui->plot->replot();
    showLiveValues();
    updateStatistics();
}

void TrendWindow::followRecording()
{
    const qint64 nowMs = recordingNowMs();
    const qint64 fromMs = m_windowMs > 0 ? nowMs - m_windowMs : std::min(recordingStartMs(), nowMs - 1);
    m_ui->plot->setAxisScale(QwtPlot::xBottom, double(fromMs), double(nowMs));
}

qint64 TrendWindow::recordingNowMs() const
{
    qint64 lastMs = -1;
    for (const TrendCurve *curve : m_ui->plot->trendCurves()) {
        if (m_recorder->isLive(curve->key().source))
            return QDateTime::currentMSecsSinceEpoch();
        lastMs = std::max(lastMs, m_recorder->timeSpan(curve->key().source).second);
    }
    return lastMs >= 0 ? lastMs : QDateTime::currentMSecsSinceEpoch();
}

qint64 TrendWindow::recordingStartMs() const
{
    qint64 firstMs = recordingNowMs();
    for (const TrendCurve *curve : m_ui->plot->trendCurves()) {
        const QPair<qint64, qint64> span = m_recorder->timeSpan(curve->key().source);
        if (span.first <= span.second)
            firstMs = std::min(firstMs, span.first);
    }
    return firstMs;
}

void TrendWindow::takeOverView()
{
    m_following = false;
}

void TrendWindow::zoomTo(const QRectF &leftAxisRect)
{
    const QRectF area = leftAxisRect.normalized();
    if (area.width() <= 0 || area.height() <= 0)
        return;
    takeOverView();
    TrendPlot *plot = m_ui->plot;
    const QwtScaleMap left = plot->canvasMap(QwtPlot::yLeft);
    const QwtScaleMap right = plot->canvasMap(QwtPlot::yRight);
    plot->setAxisScale(QwtPlot::xBottom, area.left(), area.right());
    plot->setAxisScale(QwtPlot::yLeft, area.top(), area.bottom());
    plot->setAxisScale(QwtPlot::yRight, right.invTransform(left.transform(area.top())),
                       right.invTransform(left.transform(area.bottom())));
    plot->replot();
}

void TrendWindow::showValuesAt(qint64 timeMs)
{
    for (TrendCurve *curve : m_ui->plot->trendCurves()) {
        const TrendCurveKey &key = curve->key();
        const double value = TrendStatistics::valueAt(m_recorder->series(key.source, key.variable), key, timeMs);
        curve->setTitle(QStringLiteral("%1: %2").arg(curve->name(), TrendValue::text(value)));
    }
}

void TrendWindow::showLiveValues()
{
    showValuesAt(std::numeric_limits<qint64>::max());
}

void TrendWindow::updateStatistics()
{
    QList<TrendCurve *> shown;
    for (TrendCurve *curve : m_ui->plot->trendCurves()) {
        if (curve->isVisible())
            shown.append(curve);
    }
    m_statistics->update(shown, m_cursor->markerTime(0), m_cursor->markerTime(1));
}

void TrendWindow::status(const QString &text)
{
    m_ui->statusBar->showMessage(text);
}
