#ifndef TRENDCSVREADER_H
#define TRENDCSVREADER_H

#include "csvtext.h"

#include <QString>
#include <QStringList>
#include <QVector>

class TrendRecorder;

// Opens a CSV file as velmor-cli --csv writes it (with or without the device column) as
// a new, closed source of the recorder: each row a cycle end, each cell a reading at the
// row's time, each empty cell a failed read.
class TrendCsvReader
{
public:
    static constexpr qint64 maxFileBytes = qint64(64) << 20;

    explicit TrendCsvReader(TrendRecorder &recorder);

    // The number of the new source; -1 when the file is refused, errorText() tells why.
    int read(const QString &fileName);
    QString errorText() const;

private:
    struct Row
    {
        qint64 timeMs = 0;
        int cycleMs = 0;
        // Not a number for an empty cell.
        QVector<double> values;
    };

    bool readRecords(QVector<CsvText::Record> *records);
    bool readHeader(const QVector<CsvText::Record> &records);
    bool readRow(const CsvText::Record &record, Row *row);
    bool readValues(const CsvText::Record &record, Row *row);
    QString sourceName(const QVector<CsvText::Record> &records) const;
    int addSource(const QString &name, const QVector<Row> &rows);
    bool fail(const QString &reason);
    bool failAt(int lineNumber, const QString &reason);

    TrendRecorder &m_recorder;
    QString m_fileName;
    bool m_hasDeviceColumn = false;
    QStringList m_names;
    QString m_errorText;
};

#endif // TRENDCSVREADER_H
