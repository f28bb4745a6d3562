#include "modbusrequesthandler.h"

#include "faultinjector.h"
#include "trafficlogger.h"
#include "variablestore.h"

#include <QDataStream>
#include <QStringList>
#include <QThread>
#include <QtEndian>

namespace {

// Register counts the Modbus standard allows in one read or one write.
constexpr int MaxReadCount = 125;
constexpr int MaxWriteCount = 123;
// Starting address + quantity, both 16 bits.
constexpr int RangeSize = 4;
// Starting address + quantity + byte count.
constexpr int WriteHeaderSize = 5;

quint16 wordAt(const QByteArray &data, int offset)
{
    return qFromBigEndian<quint16>(data.constData() + offset);
}

QString registerText(quint16 reg)
{
    return QStringLiteral("0x%1").arg(reg, 4, 16, QLatin1Char('0'));
}

QString registersText(const QVector<quint16> &values)
{
    QStringList texts;
    for (quint16 value : values)
        texts.append(registerText(value));
    return texts.join(QLatin1Char(' '));
}

} // namespace

ModbusRequestHandler::ModbusRequestHandler(VariableStore *store, FaultInjector *faults, TrafficLogger *logger)
    : m_store(store)
    , m_faults(faults)
    , m_logger(logger)
{
}

QByteArray ModbusRequestHandler::pduBytes(const QModbusPdu &pdu)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << pdu;
    return bytes;
}

ModbusRequestHandler::Answer ModbusRequestHandler::answer(const QModbusPdu &pdu)
{
    const QByteArray bytes = pduBytes(pdu);
    Request request;
    request.code = bytes.isEmpty() ? 0 : quint8(bytes.at(0));
    request.data = bytes.mid(1);
    m_logger->request(bytes, requestMeaning(request));

    Answer answer;
    if (m_faults->next() == FaultInjector::Exception) {
        answer.response = QModbusExceptionResponse(QModbusPdu::FunctionCode(request.code),
                                                   QModbusPdu::ExceptionCode(m_exceptionCode));
        answer.meaning = QStringLiteral("exception 0x%1").arg(m_exceptionCode, 2, 16, QLatin1Char('0'));
        answer.fault = FaultInjector::name(FaultInjector::Exception);
    } else {
        answer.response = respond(request, &answer.meaning);
    }
    return answer;
}

void ModbusRequestHandler::logSent(const Answer &answer)
{
    m_logger->answer(pduBytes(answer.response), answer.meaning, answer.fault);
}

QModbusResponse ModbusRequestHandler::handle(const QModbusPdu &request)
{
    const Answer worked = answer(request);
    if (m_answerDelayMs > 0)
        QThread::msleep(ulong(m_answerDelayMs));
    logSent(worked);
    return worked.response;
}

QModbusResponse ModbusRequestHandler::respond(const Request &request, QString *meaning)
{
    switch (request.code) {
    case QModbusPdu::ReadHoldingRegisters:
    case QModbusPdu::ReadInputRegisters:
        return read(request, meaning);
    case QModbusPdu::WriteMultipleRegisters:
        return writeMultiple(request, meaning);
    case QModbusPdu::WriteSingleRegister:
        return writeSingle(request, meaning);
    default:
        return refuse(request, QModbusPdu::IllegalFunction, QStringLiteral("function not served"), meaning);
    }
}

QModbusResponse ModbusRequestHandler::read(const Request &request, QString *meaning)
{
    const QByteArray &data = request.data;
    if (data.size() != RangeSize || wordAt(data, 2) < 1 || wordAt(data, 2) > MaxReadCount)
        return refuse(request, QModbusPdu::IllegalDataValue, QStringLiteral("malformed read"), meaning);
    const bool input = request.code == QModbusPdu::ReadInputRegisters;
    QVector<quint16> values;
    if (m_store->readRegisters(input, wordAt(data, 0), wordAt(data, 2), m_unusedReadZero, &values) != VariableStore::Done)
        return refuse(request, QModbusPdu::IllegalDataAddress, QStringLiteral("registers not held"), meaning);

    QByteArray answerData(1, char(values.size() * 2));
    for (quint16 value : values) {
        char bytes[2];
        qToBigEndian(value, bytes);
        answerData.append(bytes, 2);
    }
    *meaning = QStringLiteral("ok ") + registersText(values);
    return QModbusResponse(QModbusPdu::FunctionCode(request.code), answerData);
}

QModbusResponse ModbusRequestHandler::writeMultiple(const Request &request, QString *meaning)
{
    const QByteArray &data = request.data;
    if (data.size() < WriteHeaderSize)
        return refuse(request, QModbusPdu::IllegalDataValue, QStringLiteral("malformed write"), meaning);
    const int count = wordAt(data, 2);
    const int byteCount = quint8(data.at(4));
    if (count < 1 || count > MaxWriteCount || byteCount != 2 * count || data.size() != WriteHeaderSize + byteCount)
        return refuse(request, QModbusPdu::IllegalDataValue, QStringLiteral("malformed write"), meaning);
    QVector<quint16> values;
    for (int i = 0; i < count; ++i)
        values.append(wordAt(data, WriteHeaderSize + 2 * i));
    return write(request, wordAt(data, 0), values,
                 QModbusResponse(QModbusPdu::FunctionCode(request.code), data.left(RangeSize)), meaning);
}

QModbusResponse ModbusRequestHandler::writeSingle(const Request &request, QString *meaning)
{
    const QByteArray &data = request.data;
    if (data.size() != RangeSize)
        return refuse(request, QModbusPdu::IllegalDataValue, QStringLiteral("malformed write"), meaning);
    return write(request, wordAt(data, 0), { wordAt(data, 2) },
                 QModbusResponse(QModbusPdu::FunctionCode(request.code), data), meaning);
}

QModbusResponse ModbusRequestHandler::write(const Request &request, quint16 start, const QVector<quint16> &values,
                                            const QModbusResponse &echo, QString *meaning)
{
    QVector<int> written;
    switch (m_store->writeRegisters(start, values, &written)) {
    case VariableStore::UnknownAddress:
        return refuse(request, QModbusPdu::IllegalDataAddress, QStringLiteral("registers not held"), meaning);
    case VariableStore::ReadOnly:
        return refuse(request, QModbusPdu::IllegalDataAddress, QStringLiteral("read-only variable"), meaning);
    case VariableStore::Done:
        break;
    }
    QStringList changes;
    for (int index : written)
        changes.append(m_store->variable(index).name + QLatin1Char('=') + m_store->valueText(index));
    *meaning = QStringLiteral("ok ") + changes.join(QLatin1Char(' '));
    return echo;
}

QString ModbusRequestHandler::requestMeaning(const Request &request)
{
    const QByteArray &data = request.data;
    const QString function = QStringLiteral("function 0x%1").arg(request.code, 2, 16, QLatin1Char('0'));
    if (data.size() < RangeSize)
        return function;
    const QString range = QStringLiteral("addr=%1").arg(registerText(wordAt(data, 0)));
    switch (request.code) {
    case QModbusPdu::ReadHoldingRegisters:
        return QStringLiteral("read holding %1 count=%2").arg(range).arg(wordAt(data, 2));
    case QModbusPdu::ReadInputRegisters:
        return QStringLiteral("read input %1 count=%2").arg(range).arg(wordAt(data, 2));
    case QModbusPdu::WriteSingleRegister:
        return QStringLiteral("write %1 value=%2").arg(range, registerText(wordAt(data, 2)));
    case QModbusPdu::WriteMultipleRegisters:
        return QStringLiteral("write %1 count=%2 data=%3").arg(range).arg(wordAt(data, 2))
            .arg(QString::fromLatin1(data.mid(WriteHeaderSize).toHex()));
    default:
        return function;
    }
}

QModbusResponse ModbusRequestHandler::refuse(const Request &request, int code, const QString &reason,
                                             QString *meaning)
{
    *meaning = QStringLiteral("exception 0x%1: %2").arg(code, 2, 16, QLatin1Char('0')).arg(reason);
    return QModbusExceptionResponse(QModbusPdu::FunctionCode(request.code), QModbusPdu::ExceptionCode(code));
}
