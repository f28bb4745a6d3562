#include "modbustcpserver.h"

#include "modbustcpconnection.h"
#include "trafficlogger.h"

#include <QTcpSocket>

ModbusTcpServer::ModbusTcpServer(ModbusRequestHandler *handler, quint8 unitId, TrafficLogger *logger,
                                 QObject *parent)
    : QObject(parent)
    , m_handler(handler)
    , m_unitId(unitId)
    , m_logger(logger)
    , m_acceptRetry([this]() { m_server.resumeAccepting(); })
{
    connect(&m_server, &QTcpServer::newConnection, this, &ModbusTcpServer::onNewConnection);
    connect(&m_server, &QTcpServer::acceptError, this, &ModbusTcpServer::onAcceptError);
}

bool ModbusTcpServer::listen(const QHostAddress &address, quint16 port)
{
    return m_server.listen(address, port);
}

void ModbusTcpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection())
        new ModbusTcpConnection(socket, m_handler, m_unitId, m_logger, this);
    m_acceptRetry.reset();
    if (m_acceptFailing)
        m_logger->event(QStringLiteral("accepting connections again"));
    m_acceptFailing = false;
}

void ModbusTcpServer::onAcceptError()
{
    // Qt has paused accepting; a pending connection would make it fail again at once.
    if (!m_acceptFailing)
        m_logger->event(QStringLiteral("cannot accept a connection: %1; trying again").arg(m_server.errorString()));
    m_acceptFailing = true;
    m_acceptRetry.retryLater();
}
