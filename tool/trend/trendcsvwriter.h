#ifndef TRENDCSVWRITER_H
#define TRENDCSVWRITER_H

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

class QSaveFile;
class TrendRecorder;
class TrendSeries;
struct TrendCycle;

// Exports recorded trends in the format velmor-cli --csv writes for one device: a header
// "time,cycle_ms,<names>", then a row per kept cycle end with the value each variable had
// at that time; an empty cell where the read failed or nothing was read since the last row.
class TrendCsvWriter
{
public:
    explicit TrendCsvWriter(const TrendRecorder &recorder);

    // The variables of the source as columns in the order given, the cycle ends from fromMs
    // to toMs as rows. Nothing is left behind when it fails; errorText() tells why.
    bool write(const QString &fileName, int source, const QVector<int> &variables, qint64 fromMs, qint64 toMs);
    QString errorText() const;
    // The file of one source when several are exported at once: its name before the
    // suffix ("log.csv" and "Boiler 2" give "log-Boiler 2.csv"), a path separator replaced.
    static QString fileNameFor(const QString &fileName, const QString &sourceName);

private:
    QStringList header(int source, const QVector<int> &variables) const;
    QStringList row(int source, const QVector<int> &variables, qint64 afterMs, const TrendCycle &cycle);
    QString cell(const TrendSeries &series, qint64 afterMs, qint64 untilMs, std::optional<double> *lastWritten) const;
    bool writeLine(QSaveFile &file, const QStringList &cells);
    bool fail(const QSaveFile &file);

    const TrendRecorder &m_recorder;
    // The last value written in each column, which decides the extreme an envelope gives.
    QVector<std::optional<double>> m_lastWritten;
    QString m_errorText;
};

#endif // TRENDCSVWRITER_H
