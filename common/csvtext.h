#ifndef CSVTEXT_H
#define CSVTEXT_H

#include <QString>
#include <QStringList>
#include <QVector>

// RFC 4180 text, as velmor-cli logs cycles and the device tool exports and opens trends.
namespace CsvText {

// One record with its line end; a cell holding a comma, a quote or a line break is quoted.
QString line(const QStringList &cells);

struct Record
{
    // Of the record's first line, counted from 1; a quoted line break spans lines.
    int lineNumber = 0;
    QStringList cells;
};

// The records of a whole text; false with the line of the first malformed one in errorText.
bool parse(const QString &text, QVector<Record> *records, QString *errorText);

} // namespace CsvText

#endif // CSVTEXT_H
