#ifndef HANDLEDMODBUSSERVER_H
#define HANDLEDMODBUSSERVER_H

#include "modbusrequesthandler.h"

#include <QModbusPdu>

// One of Qt's Modbus servers (TCP or RTU) with every request answered by the simulator's
// handler instead of a plain register map.
template <typename QtServer>
class HandledModbusServer : public QtServer
{
public:
    explicit HandledModbusServer(ModbusRequestHandler *handler, QObject *parent = nullptr)
        : QtServer(parent)
        , m_handler(handler)
    {
    }

protected:
    QModbusResponse processRequest(const QModbusPdu &request) override
    {
        return m_handler->handle(request);
    }

private:
    ModbusRequestHandler *m_handler;
};

#endif // HANDLEDMODBUSSERVER_H
