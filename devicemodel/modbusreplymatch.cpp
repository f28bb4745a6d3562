#include "modbusreplymatch.h"

#include <QModbusReply>

namespace ModbusReplyMatch {

QString mismatch(const QModbusReply &reply, const Request &request)
{
    if (reply.type() == QModbusReply::Broadcast)
        return QString();
    const QModbusResponse response = reply.rawResult();
    if (response.functionCode() != request.functionCode) {
        return QStringLiteral("(Modbus) reply is for another function code (0x%1)")
            .arg(int(response.functionCode()), 2, 16, QLatin1Char('0'));
    }
    int registerCount = reply.result().valueCount();
    if (request.functionCode == QModbusPdu::WriteMultipleRegisters) {
        quint16 addr = 0;
        quint16 count = 0;
        response.decodeData(&addr, &count);
        if (addr != request.addr)
            return QStringLiteral("(Modbus) reply is for another address (0x%1)").arg(addr, 0, 16);
        registerCount = count;
    }
    if (registerCount != request.registerCount)
        return QStringLiteral("(Modbus) reply is for another register count (%1)").arg(registerCount);
    return QString();
}

} // namespace ModbusReplyMatch
