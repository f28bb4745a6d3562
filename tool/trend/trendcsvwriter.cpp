#include "trendcsvwriter.h"

#include "csvtext.h"
#include "trendcsvformat.h"
#include "trendrecorder.h"
#include "trendseries.h"

#include <QSaveFile>

#include <cmath>
#include <limits>

TrendCsvWriter::TrendCsvWriter(const TrendRecorder &recorder)
    : m_recorder(recorder)
{
}

bool TrendCsvWriter::write(const QString &fileName, int source, const QVector<int> &variables, qint64 fromMs,
                           qint64 toMs)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file);
    if (!writeLine(file, header(source, variables)))
        return fail(file);
    m_lastWritten = QVector<std::optional<double>>(variables.size());
    qint64 previousCycleMs = std::numeric_limits<qint64>::min();
    for (const TrendCycle &cycle : m_recorder.cycles(source)) {
        if (cycle.timeMs > toMs)
            break;
        if (cycle.timeMs >= fromMs && !writeLine(file, row(source, variables, previousCycleMs, cycle)))
            return fail(file);
        previousCycleMs = cycle.timeMs;
    }
    return file.commit() || fail(file);
}

QString TrendCsvWriter::errorText() const
{
    return m_errorText;
}

QStringList TrendCsvWriter::header(int source, const QVector<int> &variables) const
{
    QStringList cells{TrendCsvFormat::timeColumn, TrendCsvFormat::cycleColumn};
    for (int variable : variables)
        cells.append(m_recorder.variables(source).at(variable).name);
    return cells;
}

QStringList TrendCsvWriter::row(int source, const QVector<int> &variables, qint64 afterMs, const TrendCycle &cycle)
{
    QStringList cells{TrendCsvFormat::timeText(cycle.timeMs), QString::number(cycle.cycleMs)};
    for (int column = 0; column < variables.size(); ++column)
        cells.append(cell(m_recorder.series(source, variables.at(column)), afterMs, cycle.timeMs, &m_lastWritten[column]));
    return cells;
}

// The value the variable had at the end of the cycle: its last point since the last row.
QString TrendCsvWriter::cell(const TrendSeries &series, qint64 afterMs, qint64 untilMs,
                             std::optional<double> *lastWritten) const
{
    const int index = series.lastAtOrBefore(untilMs);
    if (index < 0)
        return QString();
    const TrendSample sample = series.at(index);
    if (sample.timeMs <= afterMs || sample.isGap())
        return QString();
    double value = sample.max;
    // Of an envelope the extreme farther from the value before, so that a spike survives.
    if (sample.isEnvelope() && lastWritten->has_value()
        && std::fabs(sample.min - **lastWritten) > std::fabs(sample.max - **lastWritten))
        value = sample.min;
    *lastWritten = value;
    return TrendCsvFormat::numberText(value);
}

bool TrendCsvWriter::writeLine(QSaveFile &file, const QStringList &cells)
{
    const QByteArray bytes = CsvText::line(cells).toUtf8();
    return file.write(bytes) == bytes.size();
}

bool TrendCsvWriter::fail(const QSaveFile &file)
{
    m_errorText = QStringLiteral("не удалось записать %1: %2").arg(file.fileName(), file.errorString());
    return false;
}
