#ifndef SIGNALWATCHER_H
#define SIGNALWATCHER_H

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal: the handler only writes the signal
// number into a pipe, and the event loop reads it from there.
class SignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

signals:
    void interrupted(int signalNumber);

private:
    void onReadable();

    QSocketNotifier *m_notifier = nullptr;
};

#endif // SIGNALWATCHER_H
