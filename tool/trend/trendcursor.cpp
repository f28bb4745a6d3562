#include "trendcursor.h"

#include "trendplot.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>

#include <qwt_plot_canvas.h>
#include <qwt_plot_marker.h>
#include <qwt_scale_map.h>
#include <qwt_text.h>

namespace {

QwtPlotMarker *verticalLine(TrendPlot *plot, const QColor &colour, const QString &label)
{
    auto *line = new QwtPlotMarker;
    line->setLineStyle(QwtPlotMarker::VLine);
    line->setLinePen(colour, 0, label.isEmpty() ? Qt::DotLine : Qt::DashLine);
    line->setLabel(QwtText(label));
    line->setLabelAlignment(Qt::AlignTop | Qt::AlignRight);
    line->setZ(100);
    line->setVisible(false);
    line->attach(plot);
    return line;
}

} // namespace

TrendCursor::TrendCursor(TrendPlot *plot, QMenu *contextMenu)
    : QObject(plot)
    , m_plot(plot)
    , m_contextMenu(contextMenu)
    , m_cursor(verticalLine(plot, Qt::darkGray, QString()))
    , m_markers{verticalLine(plot, Qt::darkBlue, QStringLiteral("1")),
                verticalLine(plot, Qt::darkMagenta, QStringLiteral("2"))}
{
    plot->canvas()->setMouseTracking(true);
    plot->canvas()->installEventFilter(this);
}

void TrendCursor::placeMarker(int marker, qint64 timeMs)
{
    m_markers[marker]->setXValue(double(timeMs));
    m_markers[marker]->setVisible(true);
    m_plot->replot();
    emit markersChanged();
}

void TrendCursor::placeMarkerAtMenu(int marker)
{
    placeMarker(marker, m_menuTimeMs);
}

void TrendCursor::clearMarkers()
{
    for (QwtPlotMarker *marker : m_markers)
        marker->setVisible(false);
    m_plot->replot();
    emit markersChanged();
}

std::optional<qint64> TrendCursor::markerTime(int marker) const
{
    if (!m_markers[marker]->isVisible())
        return std::nullopt;
    return qint64(m_markers[marker]->xValue());
}

bool TrendCursor::bothMarkersPlaced() const
{
    return markerTime(0) && markerTime(1);
}

bool TrendCursor::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseMove:
        moveCursor(static_cast<QMouseEvent *>(event)->pos().x());
        break;
    case QEvent::Leave:
        hideCursor();
        break;
    case QEvent::Wheel:
        emit viewTakenOver();
        break;
    case QEvent::ContextMenu: {
        const auto *menuEvent = static_cast<QContextMenuEvent *>(event);
        m_menuTimeMs = timeAtPixel(menuEvent->pos().x());
        m_contextMenu->popup(menuEvent->globalPos());
        return true;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

qint64 TrendCursor::timeAtPixel(int x) const
{
    return qint64(m_plot->canvasMap(QwtPlot::xBottom).invTransform(x));
}

void TrendCursor::moveCursor(int x)
{
    const qint64 timeMs = timeAtPixel(x);
    m_cursor->setXValue(double(timeMs));
    m_cursor->setVisible(true);
    m_plot->replot();
    emit cursorMoved(timeMs);
}

void TrendCursor::hideCursor()
{
    m_cursor->setVisible(false);
    m_plot->replot();
    emit cursorLeft();
}
