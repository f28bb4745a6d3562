#ifndef CSVLOGGER_H
#define CSVLOGGER_H

#include <QFile>
#include <QString>
#include <QStringList>
#include <QVector>

class QDateTime;
class ReadingFeed;

// Appends one CSV row per finished cycle: time, the device name when there is one,
// cycle time and one cell per variable.
class CsvLogger
{
public:
    CsvLogger(const ReadingFeed *readings, bool onlyOnChange, const QString &deviceName = QString());

    // Opens the file for appending; a new or empty file gets the header row.
    bool open(const QString &fileName, QString *errorText);
    // Writes the row of a finished cycle; failed values are empty cells. With
    // onlyOnChange set, a cycle whose values all equal the last row's writes nothing.
    bool logCycle(const QDateTime &time, int cycleTimeMs, const QVector<int> &failedIds);

private:
    QStringList currentValues(const QVector<int> &failedIds) const;
    bool changedSinceLastRow(const QStringList &values) const;
    void remember(const QStringList &values);
    bool writeRow(const QStringList &cells);

    // A column of its own when not empty.
    QStringList deviceColumn(const QString &cell) const;

    const ReadingFeed *m_readings;
    bool m_onlyOnChange;
    QString m_deviceName;
    QFile m_file;
    bool m_rowWritten = false;
    QStringList m_lastValues;
};

#endif // CSVLOGGER_H
