#ifndef MODBUSREQUESTHANDLER_H
#define MODBUSREQUESTHANDLER_H

#include <QModbusPdu>
#include <QVector>

class FaultInjector;
class TrafficLogger;
class VariableStore;

// Answers Modbus requests from the variable store, for the TCP server and the RTU
// slave alike: read holding and input registers (0x03, 0x04), write single and
// multiple registers (0x06, 0x10). Writes are decoded with the word order the tools
// write, so a read afterwards returns the value written.
class ModbusRequestHandler
{
public:
    ModbusRequestHandler(VariableStore *store, FaultInjector *faults, TrafficLogger *logger);

    void setExceptionCode(int code) { m_exceptionCode = code; }
    // Held before every answer. The Modbus servers answer synchronously, so it blocks.
    void setAnswerDelay(int delayMs) { m_answerDelayMs = delayMs; }

    QModbusResponse handle(const QModbusPdu &request);

    static QByteArray pduBytes(const QModbusPdu &pdu);

private:
    QModbusResponse answer(const QModbusPdu &request, QString *meaning);
    QModbusResponse read(const QModbusPdu &request, QString *meaning);
    QModbusResponse writeMultiple(const QModbusPdu &request, QString *meaning);
    QModbusResponse writeSingle(const QModbusPdu &request, QString *meaning);
    QModbusResponse write(const QModbusPdu &request, quint16 start, const QVector<quint16> &values,
                          const QModbusResponse &echo, QString *meaning);
    static QString requestMeaning(const QModbusPdu &request);
    static QModbusResponse refuse(const QModbusPdu &request, int code, const QString &reason, QString *meaning);

    VariableStore *m_store;
    FaultInjector *m_faults;
    TrafficLogger *m_logger;
    int m_exceptionCode = 4;
    int m_answerDelayMs = 0;
};

#endif // MODBUSREQUESTHANDLER_H
