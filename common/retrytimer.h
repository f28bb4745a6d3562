#ifndef RETRYTIMER_H
#define RETRYTIMER_H

#include <QObject>
#include <QTimer>

#include <functional>

// Tries a failed action again after a pause, so that a persistent error (a serial port
// gone, file descriptors run out, a broker away) costs no CPU. The pause starts at the
// first pause and doubles with every failure in a row up to the longest; a success
// starts it over.
class RetryTimer : public QObject
{
    Q_OBJECT

public:
    // Paced for a local error, which a moment may clear: 100 ms, doubling up to 2 s.
    explicit RetryTimer(std::function<void()> attempt, QObject *parent = nullptr);
    RetryTimer(int firstPauseMs, int longestPauseMs, std::function<void()> attempt, QObject *parent = nullptr);

    // The action failed: it is tried again after the pause, unless a try is already due.
    void retryLater();
    // The action succeeded, or is wanted no more: no try is due, and the next failure
    // waits the first pause again.
    void reset();

private:
    void onTimeout();

    const int m_firstPauseMs;
    const int m_longestPauseMs;
    std::function<void()> m_attempt;
    // A child, so that it follows the owner into another thread.
    QTimer m_timer;
    int m_pauseMs;
};

#endif // RETRYTIMER_H
