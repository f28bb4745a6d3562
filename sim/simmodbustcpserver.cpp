#include "simmodbustcpserver.h"

#include "modbusrequesthandler.h"

SimModbusTcpServer::SimModbusTcpServer(ModbusRequestHandler *handler, QObject *parent)
    : QModbusTcpServer(parent)
    , m_handler(handler)
{
}

QModbusResponse SimModbusTcpServer::processRequest(const QModbusPdu &request)
{
    return m_handler->handle(request);
}
