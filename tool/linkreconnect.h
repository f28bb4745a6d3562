#ifndef LINKRECONNECT_H
#define LINKRECONNECT_H

#include "retrytimer.h"

#include <QObject>

class VelmorDeviceModel;

// What follows a lost link of one device. With continuous update on, the link is tried
// again by itself, after pauses that grow from a second to a minute, and polling goes on
// once it answers; the engineer stops it by turning continuous update off. Without it,
// reconnecting is offered.
class LinkReconnect : public QObject
{
    Q_OBJECT

public:
    // Normal: connected, or taken down by the engineer.
    enum class State { Normal, Lost, Reconnecting };

    static constexpr int firstPauseMs = 1000;
    static constexpr int longestPauseMs = 60000;

    explicit LinkReconnect(VelmorDeviceModel *device);

    State state() const;
    // The engineer connects, disconnects or stops continuous update: no more tries, and
    // the state is the engineer's again.
    void stop();

signals:
    void stateChanged(LinkReconnect::State state);
    void reconnectOffered(const QString &reason);
    void attemptStarted(int attempt);

private:
    void linkLost(const QString &reason);
    void attempt();
    void attemptFailed();
    void cycleFinished();
    void setState(State state);

    VelmorDeviceModel *m_device;
    RetryTimer m_retry;
    State m_state = State::Normal;
    int m_attempts = 0;
};

#endif // LINKRECONNECT_H
