#include "trendcsvreader.h"

#include "boundedread.h"
#include "trendcsvformat.h"
#include "trendrecorder.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <limits>

namespace {

// time, device when present, cycle_ms: the cells before the values.
int leadingColumns(bool hasDeviceColumn)
{
    return hasDeviceColumn ? 3 : 2;
}

} // namespace

TrendCsvReader::TrendCsvReader(TrendRecorder &recorder)
    : m_recorder(recorder)
{
}

int TrendCsvReader::read(const QString &fileName)
{
    m_fileName = fileName;
    QVector<CsvText::Record> records;
    if (!readRecords(&records) || !readHeader(records))
        return -1;
    QVector<Row> rows(records.size() - 1);
    for (int index = 1; index < records.size(); ++index) {
        if (!readRow(records.at(index), &rows[index - 1]))
            return -1;
    }
    return addSource(sourceName(records), rows);
}

QString TrendCsvReader::errorText() const
{
    return m_errorText;
}

bool TrendCsvReader::readRecords(QVector<CsvText::Record> *records)
{
    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("не удалось открыть: %1").arg(file.errorString()));
    QByteArray bytes;
    if (!readBounded(file, maxFileBytes, &bytes))
        return fail(QStringLiteral("файл больше %1 МиБ").arg(maxFileBytes >> 20));
    QString reason;
    if (!CsvText::parse(QString::fromUtf8(bytes), records, &reason))
        return fail(reason);
    return true;
}

bool TrendCsvReader::readHeader(const QVector<CsvText::Record> &records)
{
    const QStringList header = records.isEmpty() ? QStringList() : records.first().cells;
    m_hasDeviceColumn = header.value(1) == TrendCsvFormat::deviceColumn;
    const int leading = leadingColumns(m_hasDeviceColumn);
    if (header.value(0) != TrendCsvFormat::timeColumn || header.value(leading - 1) != TrendCsvFormat::cycleColumn)
        return failAt(1, QStringLiteral("ожидался заголовок time[,device],cycle_ms и имена переменных"));
    m_names = header.mid(leading);
    return true;
}

bool TrendCsvReader::readRow(const CsvText::Record &record, Row *row)
{
    const QStringList &cells = record.cells;
    const int expectedCells = leadingColumns(m_hasDeviceColumn) + m_names.size();
    if (cells.size() != expectedCells)
        return failAt(record.lineNumber,
                      QStringLiteral("ячеек %1, а в заголовке %2").arg(cells.size()).arg(expectedCells));
    if (!TrendCsvFormat::readTime(cells.first(), &row->timeMs))
        return failAt(record.lineNumber, QStringLiteral("время «%1» не прочитано").arg(cells.first()));
    const QString cycleText = cells.at(leadingColumns(m_hasDeviceColumn) - 1);
    bool cycleRead = false;
    row->cycleMs = cycleText.toInt(&cycleRead);
    if (!cycleRead || row->cycleMs < 0)
        return failAt(record.lineNumber, QStringLiteral("время цикла «%1» не прочитано").arg(cycleText));
    return readValues(record, row);
}

bool TrendCsvReader::readValues(const CsvText::Record &record, Row *row)
{
    const QStringList values = record.cells.mid(leadingColumns(m_hasDeviceColumn));
    row->values.fill(std::numeric_limits<double>::quiet_NaN(), values.size());
    for (int column = 0; column < values.size(); ++column) {
        const QString &text = values.at(column);
        if (!text.isEmpty() && !TrendCsvFormat::readNumber(text, &row->values[column]))
            return failAt(record.lineNumber, QStringLiteral("«%1» — не число").arg(text));
    }
    return true;
}

// The device column names the device; a file without it is named by its own name.
QString TrendCsvReader::sourceName(const QVector<CsvText::Record> &records) const
{
    if (m_hasDeviceColumn && records.size() > 1 && !records.at(1).cells.at(1).isEmpty())
        return records.at(1).cells.at(1);
    return QFileInfo(m_fileName).completeBaseName();
}

int TrendCsvReader::addSource(const QString &name, const QVector<Row> &rows)
{
    QVector<TrendVariable> variables;
    for (const QString &variableName : m_names)
        variables.append(TrendVariable{variableName});
    const int source = m_recorder.addSource(name, variables);
    for (const Row &row : rows) {
        for (int variable = 0; variable < row.values.size(); ++variable) {
            const double value = row.values.at(variable);
            if (std::isnan(value))
                m_recorder.appendGap(source, variable, row.timeMs);
            else
                m_recorder.append(source, variable, row.timeMs, value);
        }
        m_recorder.endCycle(source, row.timeMs, row.cycleMs);
    }
    m_recorder.closeSource(source);
    return source;
}

bool TrendCsvReader::fail(const QString &reason)
{
    m_errorText = QStringLiteral("%1: %2").arg(m_fileName, reason);
    return false;
}

bool TrendCsvReader::failAt(int lineNumber, const QString &reason)
{
    return fail(QStringLiteral("строка %1: %2").arg(lineNumber).arg(reason));
}
