#ifndef SIMMODBUSTCPSERVER_H
#define SIMMODBUSTCPSERVER_H

#include <QModbusTcpServer>

class ModbusRequestHandler;

// Qt's Modbus TCP server with every request answered by the simulator's handler
// instead of a plain register map.
class SimModbusTcpServer : public QModbusTcpServer
{
    Q_OBJECT

public:
    explicit SimModbusTcpServer(ModbusRequestHandler *handler, QObject *parent = nullptr);

protected:
    QModbusResponse processRequest(const QModbusPdu &request) override;

private:
    ModbusRequestHandler *m_handler;
};

#endif // SIMMODBUSTCPSERVER_H
