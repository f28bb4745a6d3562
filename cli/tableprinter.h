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

    // The layout of every table the program prints: columns as wide as their widest
    // cell, two blanks apart, no trailing blanks.
    static QVector<int> columnWidths(const QVector<QStringList> &rows);
    static QString formatRow(const QStringList &cells, const QVector<int> &widths);

private:
    QVector<QStringList> rows(const QVector<int> &failedIds) const;

    const ReadingFeed *m_readings;
};

#endif // TABLEPRINTER_H
