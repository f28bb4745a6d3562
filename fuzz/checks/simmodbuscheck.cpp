#include "simmodbuscheck.h"

#include "faultinjector.h"
#include "modbusrequesthandler.h"
#include "modbustcpframe.h"
#include "trafficlogger.h"
#include "variablestore.h"

#include <QtEndian>

namespace {

constexpr quint8 UnitId = 1;
constexpr quint8 ExceptionBit = 0x80;
constexpr quint8 ReadHolding = 0x03;
constexpr quint8 ReadInput = 0x04;
constexpr quint8 WriteSingle = 0x06;
constexpr quint8 WriteMultiple = 0x10;
constexpr int MaxReadCount = 125;

SimVariable variable(const char *name, quint16 addr, const char *type, bool rw, bool input = false)
{
    SimVariable result;
    result.name = QString::fromLatin1(name);
    result.addr = addr;
    result.type = QString::fromLatin1(type);
    result.rw = rw;
    result.input = input;
    result.value = addr;
    return result;
}

// Every type and access, next to each other so that ranges run across them.
const QVector<SimVariable> Variables = {
    variable("S16", 10, "int16", false), variable("S32", 11, "int32", false),
    variable("IN16", 10, "int16", false, true), variable("IN32", 11, "float32", false, true),
    variable("W16", 100, "int16", true), variable("W32", 101, "int32", true), variable("WF", 103, "float32", true),
    variable("WRAW", 105, "", true), variable("W16B", 107, "int16", true),
};

quint16 wordAt(const QByteArray &bytes, int offset)
{
    return qFromBigEndian<quint16>(bytes.constData() + offset);
}

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

// The holding variable that starts at a register, or null.
const SimVariable *holdingAt(int reg)
{
    for (const SimVariable &candidate : Variables) {
        if (!candidate.input && candidate.addr == reg)
            return &candidate;
    }
    return nullptr;
}

QString checkRead(const QByteArray &data, const QByteArray &answerData)
{
    const int count = data.size() == 4 ? wordAt(data, 2) : -1;
    if (count < 1 || count > MaxReadCount)
        return QStringLiteral("read of %1 registers answered").arg(count);
    if (answerData.size() != 1 + 2 * count || quint8(answerData.at(0)) != 2 * count)
        return QStringLiteral("read of %1 registers answered with %2").arg(count).arg(hex(answerData));
    return QString();
}

} // namespace

SimModbusCheck::SimModbusCheck()
    : m_log(std::fopen("/dev/null", "w"))
    , m_noFaults(std::make_unique<FaultInjector>(0, QVector<FaultInjector::Fault>(), 0))
{
}

SimModbusCheck::~SimModbusCheck()
{
    if (m_log)
        std::fclose(m_log);
}

QString SimModbusCheck::run(const QByteArray &stream)
{
    if (!m_log)
        return QStringLiteral("cannot open /dev/null");
    TrafficLogger logger(m_log);
    VariableStore store(Variables, false);
    ModbusRequestHandler handler(&store, m_noFaults.get(), &logger);
    int at = 0;
    for (;;) {
        ModbusTcpFrame request;
        int frameSize = 0;
        const QByteArray rest = stream.mid(at);
        const ModbusTcpFrame::Parse parse = ModbusTcpFrame::parse(rest, &request, &frameSize);
        if (parse != ModbusTcpFrame::Complete)
            return QString();
        if (frameSize < ModbusTcpFrame::HeaderSize + 1 || frameSize > ModbusTcpFrame::MaxSize || frameSize > rest.size())
            return QStringLiteral("frame of %1 bytes taken from %2").arg(frameSize).arg(hex(rest.left(frameSize)));
        at += frameSize;
        if (request.unitId != UnitId)
            continue;
        const QString failure = checkRequest(handler, request);
        if (!failure.isEmpty())
            return failure;
    }
}

QString SimModbusCheck::checkRequest(ModbusRequestHandler &handler, const ModbusTcpFrame &request)
{
    const QModbusRequest pdu(QModbusPdu::FunctionCode(quint8(request.pdu.at(0))), request.pdu.mid(1));
    const ModbusRequestHandler::Answer answer = handler.answer(pdu);
    handler.logSent(answer);
    const QByteArray answerPdu = ModbusRequestHandler::pduBytes(answer.response);
    QString failure = checkFrame(request, request.withPdu(answerPdu));
    if (failure.isEmpty())
        failure = checkAnswer(request.pdu, answerPdu);
    if (failure.isEmpty() && quint8(answerPdu.at(0)) == quint8(request.pdu.at(0))
        && (answerPdu.at(0) == WriteSingle || answerPdu.at(0) == WriteMultiple))
        failure = checkReadBack(handler, request.pdu);
    return failure;
}

QString SimModbusCheck::checkFrame(const ModbusTcpFrame &request, const QByteArray &answerFrame)
{
    ModbusTcpFrame answer;
    int frameSize = 0;
    if (ModbusTcpFrame::parse(answerFrame, &answer, &frameSize) != ModbusTcpFrame::Complete
        || frameSize != answerFrame.size())
        return QStringLiteral("answer frame %1 does not parse whole").arg(hex(answerFrame));
    if (answer.transactionId != request.transactionId || answer.protocolId != request.protocolId
        || answer.unitId != request.unitId)
        return QStringLiteral("answer frame %1 does not carry the request's header").arg(hex(answerFrame));
    return QString();
}

QString SimModbusCheck::checkAnswer(const QByteArray &request, const QByteArray &answer)
{
    const quint8 code = quint8(request.at(0));
    const QByteArray data = request.mid(1);
    if (answer.isEmpty() || answer.size() > ModbusTcpFrame::MaxPduSize)
        return QStringLiteral("answer %1 to %2").arg(hex(answer), hex(request));
    const quint8 answerCode = quint8(answer.at(0));
    const QByteArray answerData = answer.mid(1);
    if (answerCode == (code | ExceptionBit)) {
        const int exception = answerData.size() == 1 ? quint8(answerData.at(0)) : -1;
        const bool served = code == ReadHolding || code == ReadInput || code == WriteSingle || code == WriteMultiple;
        if ((served && exception >= 1 && exception <= 3) || (!served && exception == 1))
            return QString();
        return QStringLiteral("exception answer %1 to %2").arg(hex(answer), hex(request));
    }
    if (answerCode != code)
        return QStringLiteral("answer %1 to %2").arg(hex(answer), hex(request));
    switch (code) {
    case ReadHolding:
    case ReadInput:
        return checkRead(data, answerData);
    case WriteSingle:
        return answerData == data ? QString() : QStringLiteral("write answered %1").arg(hex(answer));
    case WriteMultiple:
        return answerData == data.left(4) ? QString() : QStringLiteral("writes answered %1").arg(hex(answer));
    default:
        return QStringLiteral("function %1 answered as served: %2").arg(code).arg(hex(answer));
    }
}

QString SimModbusCheck::checkReadBack(ModbusRequestHandler &handler, const QByteArray &write)
{
    const bool single = quint8(write.at(0)) == WriteSingle;
    const quint16 start = wordAt(write, 1);
    const int count = single ? 1 : wordAt(write, 3);
    const int firstValue = single ? 3 : 6;
    // Every variable here has the default word order, ABCD, for reads and writes alike.
    QByteArray expected(1, char(2 * count));
    for (int offset = 0; offset < count;) {
        const SimVariable *target = holdingAt(start + offset);
        if (!target || !target->rw)
            return QStringLiteral("write %1 accepted for a register that is no writable variable").arg(hex(write));
        const int span = target->registerCount();
        if (offset + span > count)
            return QStringLiteral("write %1 accepted for half of %2").arg(hex(write), target->name);
        expected += write.mid(firstValue + 2 * offset, 2 * span);
        offset += span;
    }
    QByteArray range(4, '\0');
    qToBigEndian(start, range.data());
    qToBigEndian(quint16(count), range.data() + 2);
    const QModbusRequest readRequest(QModbusPdu::ReadHoldingRegisters, range);
    const QByteArray readBack = ModbusRequestHandler::pduBytes(handler.handle(readRequest)).mid(1);
    if (readBack != expected)
        return QStringLiteral("after write %1 the registers read %2").arg(hex(write), hex(readBack));
    return QString();
}
