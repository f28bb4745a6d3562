#ifndef MODBUSREQUESTHANDLER_H
#define MODBUSREQUESTHANDLER_H

#include <QByteArray>
#include <QModbusPdu>
#include <QString>
#include <QVector>

class FaultInjector;
class TrafficLogger;
class VariableStore;

// Answers Modbus requests from the variable store, for the TCP server and the RTU
// slave alike: read holding and input registers (0x03, 0x04), write single and
// multiple registers (0x06, 0x10). A read may span several variables, as on any
// Modbus server. Reads and writes take each variable's word order.
class ModbusRequestHandler
{
public:
    // An answer worked out and not sent yet.
    struct Answer
    {
        QModbusResponse response;
        QString meaning;
        // The injected fault's name, empty for the true answer.
        QString fault;
    };

    ModbusRequestHandler(VariableStore *store, FaultInjector *faults, TrafficLogger *logger);

    void setExceptionCode(int code) { m_exceptionCode = code; }
    // How long an answer is held before it is sent.
    void setAnswerDelay(int delayMs) { m_answerDelayMs = delayMs; }
    int answerDelayMs() const { return m_answerDelayMs; }
    // Whether a read may take in registers no variable uses, which then read as 0, or
    // is refused with an exception (the default), as controllers of either kind do.
    void setUnusedRegistersReadZero(bool readZero) { m_unusedReadZero = readZero; }

    // Logs the request and works out its answer.
    Answer answer(const QModbusPdu &request);
    // Logs the answer as it goes out.
    void logSent(const Answer &answer);
    // For Qt's servers, which answer synchronously: answer(), the answer delay (which
    // blocks), logSent().
    QModbusResponse handle(const QModbusPdu &request);

    // Function code byte and data as on the wire. Qt keeps the function code of a parsed
    // request sign-extended when it is 0x80 or above, an invalid enumeration value that
    // must not be read here; Qt's own stream operator reads it and writes its low byte.
    static QByteArray pduBytes(const QModbusPdu &pdu);

private:
    struct Request
    {
        quint8 code = 0;
        QByteArray data;
    };

    QModbusResponse respond(const Request &request, QString *meaning);
    QModbusResponse read(const Request &request, QString *meaning);
    QModbusResponse writeMultiple(const Request &request, QString *meaning);
    QModbusResponse writeSingle(const Request &request, QString *meaning);
    QModbusResponse write(const Request &request, quint16 start, const QVector<quint16> &values,
                          const QModbusResponse &echo, QString *meaning);
    static QString requestMeaning(const Request &request);
    static QModbusResponse refuse(const Request &request, int code, const QString &reason, QString *meaning);

    VariableStore *m_store;
    FaultInjector *m_faults;
    TrafficLogger *m_logger;
    int m_exceptionCode = 4;
    int m_answerDelayMs = 0;
    bool m_unusedReadZero = false;
};

#endif // MODBUSREQUESTHANDLER_H
