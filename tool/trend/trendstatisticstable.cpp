#include "trendstatisticstable.h"

#include "trendcurve.h"
#include "trendrecorder.h"
#include "trendstatistics.h"
#include "trendvalue.h"

#include <QDateTime>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>

TrendStatisticsTable::TrendStatisticsTable(QTableWidget *table, QLabel *span, const TrendRecorder *recorder)
    : m_table(table)
    , m_span(span)
    , m_recorder(recorder)
{
    m_table->setColumnCount(ChangeColumn + 1);
    m_table->setHorizontalHeaderLabels({QStringLiteral("Кривая"), QStringLiteral("Маркер 1"),
                                        QStringLiteral("Маркер 2"), QStringLiteral("Мин"), QStringLiteral("Макс"),
                                        QStringLiteral("Среднее"), QStringLiteral("Изменение")});
    m_table->horizontalHeader()->setStretchLastSection(true);
    update({}, std::nullopt, std::nullopt);
}

void TrendStatisticsTable::update(const QList<TrendCurve *> &curves, std::optional<qint64> firstMs,
                                  std::optional<qint64> secondMs)
{
    showSpan(firstMs, secondMs);
    const bool both = firstMs && secondMs;
    m_table->setRowCount(both ? curves.size() : 0);
    for (int row = 0; both && row < curves.size(); ++row)
        fillRow(row, curves.at(row), *firstMs, *secondMs);
    m_table->resizeColumnsToContents();
}

void TrendStatisticsTable::showSpan(std::optional<qint64> firstMs, std::optional<qint64> secondMs)
{
    if (!firstMs || !secondMs) {
        m_span->setText(QStringLiteral("Поставьте два маркера (правая кнопка мыши на графике), чтобы сравнить "
                                       "кривые между ними"));
        return;
    }
    const auto timeText = [](qint64 ms) {
        return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss.zzz"));
    };
    m_span->setText(QStringLiteral("Маркер 1: %1, маркер 2: %2, между ними %3 с")
                        .arg(timeText(*firstMs), timeText(*secondMs),
                             QString::number(double(*secondMs - *firstMs) / 1000.0, 'f', 3)));
}

void TrendStatisticsTable::fillRow(int row, const TrendCurve *curve, qint64 firstMs, qint64 secondMs)
{
    const TrendCurveKey &key = curve->key();
    const TrendSeries &series = m_recorder->series(key.source, key.variable);
    const TrendStatistics statistics = TrendStatistics::between(series, key, firstMs, secondMs);
    // Marker 1 may lie after marker 2: the columns keep the markers' own values.
    const bool swapped = secondMs < firstMs;
    const double atFirst = swapped ? statistics.atEnd : statistics.atStart;
    const double atSecond = swapped ? statistics.atStart : statistics.atEnd;
    const QStringList cells{curve->name(),
                            TrendValue::text(atFirst),
                            TrendValue::text(atSecond),
                            TrendValue::text(statistics.min),
                            TrendValue::text(statistics.max),
                            TrendValue::text(statistics.mean),
                            TrendValue::text(atSecond - atFirst)};
    for (int column = 0; column < cells.size(); ++column)
        m_table->setItem(row, column, new QTableWidgetItem(cells.at(column)));
}
