#ifndef TRENDCURSOR_H
#define TRENDCURSOR_H

#include <QObject>

#include <optional>

class QMenu;
class QwtPlotMarker;
class TrendPlot;

// The vertical cursor that follows the mouse over the plot, and the two markers placed
// from the plot's context menu.
class TrendCursor : public QObject
{
    Q_OBJECT

public:
    TrendCursor(TrendPlot *plot, QMenu *contextMenu);

    // marker: 0 or 1.
    void placeMarker(int marker, qint64 timeMs);
    void placeMarkerAtMenu(int marker);
    void clearMarkers();
    std::optional<qint64> markerTime(int marker) const;
    bool bothMarkersPlaced() const;

    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    void cursorMoved(qint64 timeMs);
    void cursorLeft();
    void markersChanged();
    // The wheel zoomed: the view no longer follows the recording.
    void viewTakenOver();

private:
    qint64 timeAtPixel(int x) const;
    void moveCursor(int x);
    void hideCursor();

    TrendPlot *m_plot;
    QMenu *m_contextMenu;
    QwtPlotMarker *m_cursor;
    QwtPlotMarker *m_markers[2];
    qint64 m_menuTimeMs = 0;
};

#endif // TRENDCURSOR_H
