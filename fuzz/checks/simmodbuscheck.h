#ifndef SIMMODBUSCHECK_H
#define SIMMODBUSCHECK_H

#include <QByteArray>
#include <QString>
#include <QVector>

#include <cstdio>

class ModbusRequestHandler;
struct ModbusTcpFrame;

// Feeds arbitrary bytes to the simulator's Modbus request handling as a Modbus TCP
// stream: framed as its server frames it, each request answered as that server hands
// it over and again as Qt's RTU slave does (which keeps a function code of 0x80 or
// above sign-extended). Checks every answer's frame and shape, and that a register
// read after an accepted write returns what was written. Returns what went wrong, or
// an empty text.
class SimModbusCheck
{
public:
    SimModbusCheck();
    ~SimModbusCheck();
    SimModbusCheck(const SimModbusCheck &) = delete;
    SimModbusCheck &operator=(const SimModbusCheck &) = delete;

    QString run(const QByteArray &stream);

private:
    static QString checkRequest(ModbusRequestHandler &handler, const ModbusTcpFrame &request);
    static QString checkFrame(const ModbusTcpFrame &request, const QByteArray &answerFrame);
    static QString checkAnswer(const QByteArray &request, const QByteArray &answer);
    static QString checkReadBack(ModbusRequestHandler &handler, const QByteArray &write);

    // The traffic log goes nowhere: it is written, not judged.
    std::FILE *m_log;
};

#endif // SIMMODBUSCHECK_H
