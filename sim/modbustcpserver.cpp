#include "modbustcpserver.h"

#include "modbustcpconnection.h"
#include "trafficlogger.h"

#include <QSocketNotifier>
#include <QTcpSocket>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

ModbusTcpServer::ModbusTcpServer(ModbusRequestHandler *handler, quint8 unitId, TrafficLogger *logger,
                                 QObject *parent)
    : QObject(parent)
    , m_handler(handler)
    , m_unitId(unitId)
    , m_logger(logger)
    , m_acceptRetry([this]() { resumeAccepting(); })
{
}

bool ModbusTcpServer::listen(const QHostAddress &address, quint16 port)
{
    if (!m_server.listen(address, port))
        return false;
    m_server.pauseAccepting();
    m_acceptNotifier = new QSocketNotifier(int(m_server.socketDescriptor()), QSocketNotifier::Read, this);
    connect(m_acceptNotifier, &QSocketNotifier::activated, this, &ModbusTcpServer::acceptPending);
    return true;
}

void ModbusTcpServer::acceptPending()
{
    for (;;) {
        const int descriptor = ::accept4(int(m_server.socketDescriptor()), nullptr, nullptr, SOCK_CLOEXEC);
        if (descriptor >= 0) {
            adopt(descriptor);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return;
        } else if (errno != EINTR && errno != ECONNABORTED) {
            // The connection stays queued, and the socket readable, until it can be taken.
            acceptFailed(errno);
            return;
        }
    }
}

void ModbusTcpServer::adopt(int descriptor)
{
    auto *socket = new QTcpSocket;
    if (!socket->setSocketDescriptor(descriptor)) {
        ::close(descriptor);
        delete socket;
        return;
    }
    new ModbusTcpConnection(socket, m_handler, m_unitId, m_logger, this);
    m_acceptRetry.reset();
    if (m_acceptFailing)
        m_logger->event(QStringLiteral("accepting connections again"));
    m_acceptFailing = false;
}

void ModbusTcpServer::acceptFailed(int error)
{
    if (!m_acceptFailing)
        m_logger->event(QStringLiteral("cannot accept a connection: %1; trying again")
                            .arg(QString::fromLocal8Bit(std::strerror(error))));
    m_acceptFailing = true;
    m_acceptNotifier->setEnabled(false);
    m_acceptRetry.retryLater();
}

void ModbusTcpServer::resumeAccepting()
{
    m_acceptNotifier->setEnabled(true);
}
