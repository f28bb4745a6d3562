#ifndef TABLEPRINTER_H
#define TABLEPRINTER_H

#include <QString>
#include <QStringList>
#include <QVector>

class QTextStream;
class ReadingFeed;

// Prints a model's variables as a plain text table, one row per variable, with the
// values that failed in the last cycle marked.
class TablePrinter
{
public:
    explicit TablePrinter(const ReadingFeed *readings);

    void print(QTextStream &out, const QVector<int> &failedIds) const;

private:
    QVector<QStringList> rows(const QVector<int> &failedIds) const;
    static QVector<int> columnWidths(const QVector<QStringList> &rows);
    static QString formatRow(const QStringList &cells, const QVector<int> &widths);

    const ReadingFeed *m_readings;
};

#endif // TABLEPRINTER_H
