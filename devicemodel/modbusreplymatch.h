#ifndef MODBUSREPLYMATCH_H
#define MODBUSREPLYMATCH_H

#include <QModbusPdu>
#include <QString>

class QModbusReply;

// Whether a Modbus reply answers the request it came back for. Qt matches an RTU answer
// by server address and function code alone, so an answer that came too late for its
// own request can be handed to the next one.
namespace ModbusReplyMatch {

struct Request {
    QModbusPdu::FunctionCode functionCode;
    quint16 addr;
    int registerCount;
};

// Why a reply without error does not answer the request; empty when it does. A read
// answer carries no address, only its registers; a write answer echoes address and count.
// A broadcast gets no answer, so there is nothing to compare.
QString mismatch(const QModbusReply &reply, const Request &request);

} // namespace ModbusReplyMatch

#endif // MODBUSREPLYMATCH_H
