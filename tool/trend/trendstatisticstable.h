#ifndef TRENDSTATISTICSTABLE_H
#define TRENDSTATISTICSTABLE_H

#include <QList>

#include <optional>

class QLabel;
class QTableWidget;
class TrendCurve;
class TrendRecorder;

// The table under the plot: for each shown curve its values at the two markers and its
// min, max, mean and change between them; above it, the time between the markers.
class TrendStatisticsTable
{
public:
    enum Column { CurveColumn, AtFirstColumn, AtSecondColumn, MinColumn, MaxColumn, MeanColumn, ChangeColumn };

    TrendStatisticsTable(QTableWidget *table, QLabel *span, const TrendRecorder *recorder);

    void update(const QList<TrendCurve *> &curves, std::optional<qint64> firstMs, std::optional<qint64> secondMs);

private:
    void showSpan(std::optional<qint64> firstMs, std::optional<qint64> secondMs);
    void fillRow(int row, const TrendCurve *curve, qint64 firstMs, qint64 secondMs);

    QTableWidget *m_table;
    QLabel *m_span;
    const TrendRecorder *m_recorder;
};

#endif // TRENDSTATISTICSTABLE_H
