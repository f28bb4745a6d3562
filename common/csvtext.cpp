#include "csvtext.h"

#include <algorithm>

namespace {

const QChar quote = QLatin1Char('"');
const QChar separator = QLatin1Char(',');
const QChar lineFeed = QLatin1Char('\n');
const QChar carriageReturn = QLatin1Char('\r');

QString quoted(const QString &cell)
{
    static const QString special = QStringLiteral(",\"\r\n");
    const bool needsQuotes = std::any_of(cell.cbegin(), cell.cend(), [](QChar c) { return special.contains(c); });
    if (!needsQuotes)
        return cell;
    QString escaped = cell;
    escaped.replace(quote, QLatin1String("\"\""));
    return quote + escaped + quote;
}

// Reads the text one character at a time; a record ends at a line feed outside quotes.
class Parser
{
public:
    explicit Parser(const QString &text)
        : m_text(text)
    {
    }

    bool run(QVector<CsvText::Record> *records, QString *errorText)
    {
        for (m_position = 0; m_position < m_text.size(); ++m_position) {
            if (!take(m_text.at(m_position))) {
                *errorText = m_error;
                return false;
            }
        }
        if (m_inQuotes) {
            *errorText = QStringLiteral("строка %1: кавычки не закрыты").arg(m_record.lineNumber);
            return false;
        }
        if (!m_record.cells.isEmpty() || !m_cell.isEmpty() || m_afterClosingQuote)
            endRecord();
        *records = m_records;
        return true;
    }

private:
    bool take(QChar c)
    {
        if (m_inQuotes)
            return takeQuoted(c);
        if (c == quote)
            return openQuotes();
        if (c == separator) {
            endCell();
        } else if (c == lineFeed) {
            endRecord();
        } else if (c != carriageReturn || nextChar() != lineFeed) {
            if (m_afterClosingQuote)
                return fail(QStringLiteral("текст после закрывающей кавычки"));
            m_cell.append(c);
        }
        return true;
    }

    bool takeQuoted(QChar c)
    {
        if (c == quote && nextChar() == quote) {
            m_cell.append(quote);
            ++m_position;
        } else if (c == quote) {
            m_inQuotes = false;
            m_afterClosingQuote = true;
        } else {
            if (c == lineFeed)
                ++m_line;
            m_cell.append(c);
        }
        return true;
    }

    bool openQuotes()
    {
        if (!m_cell.isEmpty() || m_afterClosingQuote)
            return fail(QStringLiteral("кавычка внутри ячейки без кавычек"));
        m_inQuotes = true;
        return true;
    }

    QChar nextChar() const
    {
        return m_position + 1 < m_text.size() ? m_text.at(m_position + 1) : QChar();
    }

    void endCell()
    {
        m_record.cells.append(m_cell);
        m_cell.clear();
        m_afterClosingQuote = false;
    }

    void endRecord()
    {
        endCell();
        m_records.append(m_record);
        m_record = {++m_line, {}};
    }

    bool fail(const QString &reason)
    {
        m_error = QStringLiteral("строка %1: %2").arg(m_record.lineNumber).arg(reason);
        return false;
    }

    const QString &m_text;
    int m_position = 0;
    int m_line = 1;
    CsvText::Record m_record{1, {}};
    QString m_cell;
    bool m_inQuotes = false;
    bool m_afterClosingQuote = false;
    QVector<CsvText::Record> m_records;
    QString m_error;
};

} // namespace

namespace CsvText {

QString line(const QStringList &cells)
{
    QStringList quotedCells;
    for (const QString &cell : cells)
        quotedCells.append(quoted(cell));
    return quotedCells.join(separator) + lineFeed;
}

bool parse(const QString &text, QVector<Record> *records, QString *errorText)
{
    return Parser(text).run(records, errorText);
}

} // namespace CsvText
