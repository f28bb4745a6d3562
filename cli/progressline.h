#ifndef PROGRESSLINE_H
#define PROGRESSLINE_H

#include <QElapsedTimer>
#include <QString>

class QTextStream;

// A one-line "cycle: 12/40 variables" progress note on stderr, shown only while a run
// (a cycle, a scan) has gone on long and only when stderr is a terminal.
class ProgressLine
{
public:
    explicit ProgressLine(QTextStream &err, const QString &run = QStringLiteral("cycle"),
                          const QString &steps = QStringLiteral("variables"));

    // detail, when given, follows the count: what the step was.
    void step(int done, int total, const QString &detail = QString());
    // Wipes the line so other output starts at column 0.
    void clear();

private:
    QTextStream &m_err;
    const QString m_run;
    const QString m_steps;
    bool m_enabled;
    bool m_shown = false;
    QElapsedTimer m_cycleClock;
};

#endif // PROGRESSLINE_H
