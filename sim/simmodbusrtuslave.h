#ifndef SIMMODBUSRTUSLAVE_H
#define SIMMODBUSRTUSLAVE_H

#include <QModbusRtuSerialSlave>

class ModbusRequestHandler;

// Qt's Modbus RTU slave with every request answered by the simulator's handler
// instead of a plain register map.
class SimModbusRtuSlave : public QModbusRtuSerialSlave
{
    Q_OBJECT

public:
    explicit SimModbusRtuSlave(ModbusRequestHandler *handler, QObject *parent = nullptr);

protected:
    QModbusResponse processRequest(const QModbusPdu &request) override;

private:
    ModbusRequestHandler *m_handler;
};

#endif // SIMMODBUSRTUSLAVE_H
