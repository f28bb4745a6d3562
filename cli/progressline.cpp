#include "progressline.h"

#include <QTextStream>

#include <unistd.h>

namespace {

// A cycle counts as long once it has run this long.
const qint64 longCycleMs = 1000;

} // namespace

ProgressLine::ProgressLine(QTextStream &err, const QString &run, const QString &steps)
    : m_err(err)
    , m_run(run)
    , m_steps(steps)
    , m_enabled(::isatty(STDERR_FILENO) == 1)
{
}

void ProgressLine::step(int done, int total, const QString &detail)
{
    if (!m_enabled)
        return;
    if (done == 1)
        m_cycleClock.start();
    if (done >= total) {
        clear();
        return;
    }
    if (!m_cycleClock.isValid() || m_cycleClock.elapsed() < longCycleMs)
        return;
    m_err << '\r' << m_run << ": " << done << '/' << total << ' ' << m_steps;
    if (!detail.isEmpty())
        m_err << " (" << detail << ')';
    // Erase what a longer line before left over.
    m_err << "\x1b[K" << Qt::flush;
    m_shown = true;
}

void ProgressLine::clear()
{
    if (!m_shown)
        return;
    // Carriage return, then erase to the end of the line.
    m_err << "\r\x1b[K" << Qt::flush;
    m_shown = false;
}
