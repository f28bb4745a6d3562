#ifndef TRENDCSVFORMAT_H
#define TRENDCSVFORMAT_H

#include <QString>

// The cells of the CSV files velmor-cli --csv writes: header names, row times and values.
namespace TrendCsvFormat {

const QString timeColumn = QStringLiteral("time");
const QString deviceColumn = QStringLiteral("device");
const QString cycleColumn = QStringLiteral("cycle_ms");

// Local time with milliseconds and its UTC offset, unambiguous across a clock change.
QString timeText(qint64 timeMs);
bool readTime(const QString &text, qint64 *timeMs);

// The shortest text that reads back to the same double; whole numbers without a fraction.
QString numberText(double value);
// A finite number in the form numberText() and the model's value texts have.
bool readNumber(const QString &text, double *value);

} // namespace TrendCsvFormat

#endif // TRENDCSVFORMAT_H
