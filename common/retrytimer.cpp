#include "retrytimer.h"

namespace {

const int localFirstPauseMs = 100;
const int localLongestPauseMs = 2000;

} // namespace

RetryTimer::RetryTimer(std::function<void()> attempt, QObject *parent)
    : RetryTimer(localFirstPauseMs, localLongestPauseMs, std::move(attempt), parent)
{
}

RetryTimer::RetryTimer(int firstPauseMs, int longestPauseMs, std::function<void()> attempt, QObject *parent)
    : QObject(parent)
    , m_firstPauseMs(firstPauseMs)
    , m_longestPauseMs(longestPauseMs)
    , m_attempt(std::move(attempt))
    , m_timer(this)
    , m_pauseMs(firstPauseMs)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &RetryTimer::onTimeout);
}

void RetryTimer::retryLater()
{
    if (!m_timer.isActive())
        m_timer.start(m_pauseMs);
}

void RetryTimer::reset()
{
    m_timer.stop();
    m_pauseMs = m_firstPauseMs;
}

void RetryTimer::onTimeout()
{
    m_pauseMs = qMin(2 * m_pauseMs, m_longestPauseMs);
    m_attempt();
}
