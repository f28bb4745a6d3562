#include "tableprinter.h"

#include "readingfeed.h"
#include "velmordevicemodel.h"

#include <QTextStream>

namespace {

const QString failedMark = QStringLiteral("!");

} // namespace

TablePrinter::TablePrinter(const ReadingFeed *readings)
    : m_readings(readings)
{
}

void TablePrinter::print(QTextStream &out, const QVector<int> &failedIds) const
{
    const QVector<QStringList> table = rows(failedIds);
    const QVector<int> widths = columnWidths(table);
    for (const QStringList &cells : table)
        out << formatRow(cells, widths) << '\n';
    if (!failedIds.isEmpty())
        out << failedMark << " not read in this cycle; the last known value is shown\n";
    out.flush();
}

QVector<QStringList> TablePrinter::rows(const QVector<int> &failedIds) const
{
    QVector<QStringList> table;
    table.append({QString(), QStringLiteral("Address"), QStringLiteral("Name"), QStringLiteral("Value"),
                  QStringLiteral("Description")});
    for (int id = 0; id < m_readings->count(); ++id) {
        const auto attr = [this, id](const char *key) {
            return m_readings->model()->getVarAttr(unsigned(id), QString::fromLatin1(key)).toString();
        };
        table.append({failedIds.contains(id) ? failedMark : QString(), attr("addr"), attr("name"),
                      m_readings->current(id).text, attr("desc")});
    }
    return table;
}

QVector<int> TablePrinter::columnWidths(const QVector<QStringList> &rows)
{
    QVector<int> widths(rows.first().size(), 0);
    for (const QStringList &cells : rows) {
        for (int column = 0; column < cells.size(); ++column)
            widths[column] = qMax(widths.at(column), cells.at(column).size());
    }
    return widths;
}

QString TablePrinter::formatRow(const QStringList &cells, const QVector<int> &widths)
{
    QStringList padded;
    // The last column is not padded, so rows carry no trailing blanks.
    for (int column = 0; column < cells.size() - 1; ++column)
        padded.append(cells.at(column).leftJustified(widths.at(column)));
    padded.append(cells.constLast());
    QString line = padded.join(QStringLiteral("  "));
    while (line.endsWith(QLatin1Char(' ')))
        line.chop(1);
    return line;
}
