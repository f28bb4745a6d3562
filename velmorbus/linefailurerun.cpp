#include "linefailurerun.h"

LineFailureRun::LineFailureRun(int windowMs)
    : m_windowMs(windowMs)
{
}

bool LineFailureRun::count()
{
    if (m_failures == 0 || (m_windowMs > 0 && m_runClock.elapsed() > m_windowMs)) {
        m_failures = 0;
        m_runClock.start();
    }
    return ++m_failures >= PersistentFailures;
}

void LineFailureRun::clear()
{
    m_failures = 0;
}
