#include "linkreconnect.h"

#include "velmordevicemodel.h"

LinkReconnect::LinkReconnect(VelmorDeviceModel *device)
    : QObject(device)
    , m_device(device)
    , m_retry(firstPauseMs, longestPauseMs, [this] { attempt(); }, this)
{
    connect(device, &VelmorDeviceModel::connectionLost, this, &LinkReconnect::linkLost);
    connect(device, &VelmorDeviceModel::connectFailed, this, &LinkReconnect::attemptFailed);
    connect(device, &VelmorDeviceModel::updateFinished, this, &LinkReconnect::cycleFinished);
}

LinkReconnect::State LinkReconnect::state() const
{
    return m_state;
}

void LinkReconnect::stop()
{
    m_retry.reset();
    setState(State::Normal);
}

void LinkReconnect::linkLost(const QString &reason)
{
    // The model turns continuous update off as it takes the link down, after this signal.
    if (!m_device->autoUpdate()) {
        setState(State::Lost);
        emit reconnectOffered(reason);
        return;
    }
    m_attempts = 0;
    setState(State::Reconnecting);
    m_retry.retryLater();
}

void LinkReconnect::attempt()
{
    emit attemptStarted(++m_attempts);
    m_device->connectDevice();
    if (!m_device->connected()) {
        attemptFailed();
        return;
    }
    // The cycle waits for the connection; its end, or a refusal, decides the attempt.
    m_device->setAutoUpdate(true);
    m_device->updateDeviceModel();
}

void LinkReconnect::attemptFailed()
{
    if (m_state == State::Reconnecting)
        m_retry.retryLater();
}

void LinkReconnect::cycleFinished()
{
    m_retry.reset();
    setState(State::Normal);
}

void LinkReconnect::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}
