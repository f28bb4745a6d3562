#ifndef TRENDWINDOW_H
#define TRENDWINDOW_H

#include "trendcurvekey.h"

#include <QMainWindow>
#include <QTimer>

#include <memory>

class QComboBox;
class QMenu;
class QwtLegend;
class TrendCurve;
class TrendCursor;
class TrendPlot;
class TrendRecorder;
class TrendStatisticsTable;
class TrendVariableList;

namespace Ui {
class TrendWindow;
}

// Live curves of recorded variables of one or several sources: a sliding time window or
// the whole record, zoom and pan, a cursor that reads every curve, two markers with the
// statistics between them, and CSV and image export.
class TrendWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit TrendWindow(TrendRecorder *recorder, QWidget *parent = nullptr);
    ~TrendWindow() override;

    void showCurve(const TrendCurveKey &key, bool shown = true);
    void putOnRightAxis(const TrendCurveKey &key, bool right = true);
    void placeMarker(int marker, qint64 timeMs);
    // Shows the last minutes of the record, or all of it when windowMs is 0.
    void setTimeWindow(qint64 windowMs);
    bool exportImage(const QString &fileName, QString *errorText);
    // What was recorded of the visible curves, all of it or between the markers, one file
    // per source (named after it when there are several); returns the files written.
    QStringList exportCsv(const QString &fileName, bool betweenMarkers, QString *errorText);
    // Adds the file as a source; -1 when it is refused.
    int openCsv(const QString &fileName, QString *errorText);
    TrendPlot *plot() const;

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private slots:
    void on_actionPause_toggled(bool paused);
    void on_actionAutoscale_triggered();
    void on_actionExportImage_triggered();
    void on_actionExportCsv_triggered();
    void on_actionExportCsvBetweenMarkers_triggered();
    void on_actionOpenCsv_triggered();
    void on_actionPlaceFirstMarker_triggered();
    void on_actionPlaceSecondMarker_triggered();
    void on_actionClearMarkers_triggered();

private:
    void addCurve(const TrendCurveKey &key);
    void removeCurve(const TrendCurveKey &key);
    TrendCurve *curveOf(const TrendCurveKey &key) const;
    QString curveName(const TrendCurveKey &key) const;
    void spreadBitLines();
    void setUpTimeWindows();
    void setUpInteraction();
    void legendChecked(const QVariant &itemInfo, bool on);
    void newReadings();
    void redraw();
    void followRecording();
    qint64 recordingNowMs() const;
    qint64 recordingStartMs() const;
    void takeOverView();
    void zoomTo(const QRectF &leftAxisRect);
    void showValuesAt(qint64 timeMs);
    void showLiveValues();
    void updateStatistics();
    void exportCsvFromDialog(bool betweenMarkers);
    // The variables of the visible curves, by source, in the order they were added.
    QMap<int, QVector<int>> visibleVariables() const;
    void status(const QString &text);

    std::unique_ptr<Ui::TrendWindow> m_ui;
    TrendRecorder *m_recorder;
    TrendVariableList *m_variables;
    TrendCursor *m_cursor;
    std::unique_ptr<TrendStatisticsTable> m_statistics;
    QwtLegend *m_legend;
    QComboBox *m_timeWindows;
    QMenu *m_plotMenu;
    // Readings come a cycle at a time, from every device: the plot redraws at most this often.
    QTimer m_redraw;
    bool m_following = true;
    qint64 m_windowMs = 0;
};

#endif // TRENDWINDOW_H
