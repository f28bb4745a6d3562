#ifndef PROGRESSLINE_H
#define PROGRESSLINE_H

#include <QElapsedTimer>

class QTextStream;

// A one-line "cycle: 12/40" progress note on stderr, shown only while a cycle has
// run long and only when stderr is a terminal.
class ProgressLine
{
public:
    explicit ProgressLine(QTextStream &err);

    void step(int done, int total);
    // Wipes the line so other output starts at column 0.
    void clear();

private:
    QTextStream &m_err;
    bool m_enabled;
    bool m_shown = false;
    QElapsedTimer m_cycleClock;
};

#endif // PROGRESSLINE_H
