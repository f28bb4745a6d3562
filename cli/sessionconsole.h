#ifndef SESSIONCONSOLE_H
#define SESSIONCONSOLE_H

#include "progressline.h"

#include <QString>
#include <QTextStream>
#include <QVector>

class QByteArray;
class QDateTime;
class ReadingFeed;

// What one controller's session prints: cycles, tables and results on stdout; notes,
// errors, traces and the progress line on stderr. With several devices each line
// names its device.
class SessionConsole
{
public:
    SessionConsole(const QString &deviceName, bool labelled);

    // A note of velmor-cli's own.
    void note(const QString &text);
    // A line the model or its link reported.
    void error(const QString &text);
    void trace(const QDateTime &time, bool sent, const QByteArray &bytes);
    void progress(int done, int total);
    void clearProgress();
    // A line of the run's result on stdout.
    void say(const QString &line);
    void printCycle(int cycle, int cycleTimeMs, const ReadingFeed *readings, const QVector<int> &failedIds);
    // The table a run without polling ends with.
    void printResult(const ReadingFeed *readings, const QVector<int> &failedIds);
    void flush();

private:
    // The device name and a colon when the run has several devices.
    QString devicePrefix() const;

    QString m_deviceName;
    bool m_labelled;
    QTextStream m_out;
    QTextStream m_err;
    ProgressLine m_progress;
};

#endif // SESSIONCONSOLE_H
