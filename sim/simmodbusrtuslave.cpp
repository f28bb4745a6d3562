#include "simmodbusrtuslave.h"

#include "modbusrequesthandler.h"

SimModbusRtuSlave::SimModbusRtuSlave(ModbusRequestHandler *handler, QObject *parent)
    : QModbusRtuSerialSlave(parent)
    , m_handler(handler)
{
}

QModbusResponse SimModbusRtuSlave::processRequest(const QModbusPdu &request)
{
    return m_handler->handle(request);
}
