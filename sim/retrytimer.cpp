#include "retrytimer.h"

RetryTimer::RetryTimer(std::function<void()> attempt, QObject *parent)
    : QObject(parent)
    , m_attempt(std::move(attempt))
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
    m_pauseMs = FirstPauseMs;
}

void RetryTimer::onTimeout()
{
    m_pauseMs = qMin(2 * m_pauseMs, MaxPauseMs);
    m_attempt();
}
