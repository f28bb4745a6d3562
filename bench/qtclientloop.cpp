#include "qtclientloop.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QModbusReply>
#include <QVariant>

namespace {
constexpr int serverAddress = 1;
constexpr int connectTimeoutMs = 5000;
}

QtClientLoop::QtClientLoop(const QVector<DescriptionWriter::Variable> &variables, QObject *parent)
    : QObject(parent)
    , m_variables(variables)
{
}

bool QtClientLoop::connectTo(quint16 port)
{
    m_client.setConnectionParameter(QModbusDevice::NetworkAddressParameter, QStringLiteral("127.0.0.1"));
    m_client.setConnectionParameter(QModbusDevice::NetworkPortParameter, port);
    if (!m_client.connectDevice())
        return false;
    const QDeadlineTimer deadline(connectTimeoutMs);
    while (m_client.state() == QModbusDevice::ConnectingState && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    return m_client.state() == QModbusDevice::ConnectedState;
}

qint64 QtClientLoop::runPass()
{
    QEventLoop loop;
    m_loop = &loop;
    m_next = 0;
    m_failed = false;
    QElapsedTimer timer;
    timer.start();
    sendNext();
    if (!m_failed && m_next < m_variables.size())
        loop.exec();
    const qint64 elapsed = timer.nsecsElapsed();
    m_loop = nullptr;
    return m_failed ? -1 : elapsed;
}

void QtClientLoop::sendNext()
{
    const DescriptionWriter::Variable &variable = m_variables.at(m_next);
    const QModbusDataUnit unit(QModbusDataUnit::HoldingRegisters, variable.addr,
                               QVector<quint16>(variable.registerCount, 0));
    QModbusReply *reply = m_client.sendReadRequest(unit, serverAddress);
    if (!reply) {
        m_failed = true;
        stop();
        return;
    }
    connect(reply, &QModbusReply::finished, this, &QtClientLoop::onFinished);
}

void QtClientLoop::onFinished()
{
    auto *reply = qobject_cast<QModbusReply *>(sender());
    reply->deleteLater();
    // Closing the client finishes the replies still waiting for deletion, after the pass.
    if (!m_loop)
        return;
    if (reply->error() != QModbusDevice::NoError) {
        m_failed = true;
        stop();
        return;
    }
    const QModbusDataUnit result = reply->result();
    for (uint i = 0; i < result.valueCount(); ++i)
        m_checksum += result.value(int(i));
    if (++m_next == m_variables.size()) {
        stop();
        return;
    }
    sendNext();
}

void QtClientLoop::stop()
{
    if (m_loop)
        m_loop->quit();
}
