#ifndef LINEFAILURERUN_H
#define LINEFAILURERUN_H

#include <QElapsedTimer>

// Counts the errors of a live serial line in a run with no byte in between. A read that
// found its input flushed fails alone; this many in a row mean that the line keeps failing.
class LineFailureRun
{
public:
    static constexpr int PersistentFailures = 8;

    // With a window, a run that began longer ago than that starts over.
    explicit LineFailureRun(int windowMs = 0);

    // One more error; true while the line keeps failing.
    bool count();
    // Bytes came, or the line was opened again.
    void clear();

private:
    int m_windowMs;
    int m_failures = 0;
    QElapsedTimer m_runClock;
};

#endif // LINEFAILURERUN_H
