#ifndef RETRYTIMER_H
#define RETRYTIMER_H

#include <QObject>
#include <QTimer>

#include <functional>

// Tries a failed action again after a pause, so that a persistent error (a serial port
// gone, file descriptors run out) costs no CPU. The pause starts at FirstPauseMs and
// doubles with every failure in a row up to MaxPauseMs; a success starts it over.
class RetryTimer : public QObject
{
    Q_OBJECT

public:
    static constexpr int FirstPauseMs = 100;
    static constexpr int MaxPauseMs = 2000;

    explicit RetryTimer(std::function<void()> attempt, QObject *parent = nullptr);

    // The action failed: it is tried again after the pause, unless a try is already due.
    void retryLater();
    // The action succeeded: the next failure waits the first pause again.
    void reset();
    bool isWaiting() const { return m_timer.isActive(); }

private:
    void onTimeout();

    std::function<void()> m_attempt;
    QTimer m_timer;
    int m_pauseMs = FirstPauseMs;
};

#endif // RETRYTIMER_H
