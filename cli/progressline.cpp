#include "progressline.h"

#include <QTextStream>

#include <unistd.h>

namespace {

// A cycle counts as long once it has run this long.
const qint64 longCycleMs = 1000;

} // namespace

ProgressLine::ProgressLine(QTextStream &err)
    : m_err(err)
    , m_enabled(::isatty(STDERR_FILENO) == 1)
{
}

void ProgressLine::step(int done, int total)
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
    m_err << "\rcycle: " << done << '/' << total << " variables" << Qt::flush;
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
