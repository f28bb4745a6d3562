#include "trendcsvwriter.h"

#include "csvtext.h"
#include "trendcsvformat.h"
#include "trendrecorder.h"
#include "trendseries.h"

#include <QDir>
#include <QFileInfo>
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
    // Thinned records keep fewer cycle ends than envelopes: the row stands for every point
    // since the last one, and of their range it gives the extreme farther from the value
    // before, so that a spike either way survives.
    const TrendSpan span = series.span(series.firstAtOrAfter(afterMs + 1), index);
    double value = sample.min == sample.max && span.min == span.max ? sample.min : span.max;
    if (span.min != span.max && lastWritten->has_value()
        && std::fabs(span.min - **lastWritten) > std::fabs(span.max - **lastWritten))
        value = span.min;
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

QString TrendCsvWriter::fileNameFor(const QString &fileName, const QString &sourceName)
{
    QString name = sourceName;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QFileInfo file(fileName);
    const QString suffix = file.suffix().isEmpty() ? QString() : QLatin1Char('.') + file.suffix();
    return file.dir().filePath(file.completeBaseName() + QLatin1Char('-') + name + suffix);
}
