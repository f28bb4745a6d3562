#include "framedecode.h"

#include "velmorbusframe.h"
#include "velmordevicemodel.h"
#include "velmorbuspacket.h"

namespace FrameDecode {

namespace {

// Modbus function codes the tool sends, and the bit an exception answer sets.
constexpr quint8 readHolding = 0x03;
constexpr quint8 readInput = 0x04;
constexpr quint8 writeSingle = 0x06;
constexpr quint8 writeMultiple = 0x10;
constexpr quint8 exceptionBit = 0x80;
// unit id + function code
constexpr int modbusHeadSize = 2;
// Velmorbus head byte + addr + size, the part every sized body starts with
constexpr int velmorbusSizedHeadSize = 5;

QString hexByte(int value)
{
    return QStringLiteral("0x%1").arg(value, 2, 16, QLatin1Char('0'));
}

QString hexAddress(int value)
{
    return QStringLiteral("0x%1").arg(QString::number(value, 16).toUpper().rightJustified(4, QLatin1Char('0')));
}

// "1 байт", "2 байта", "5 байт"
QString byteCount(int count)
{
    const int lastTwo = count % 100;
    const int last = count % 10;
    const bool few = last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14);
    return few ? QStringLiteral("%1 байта").arg(count) : QStringLiteral("%1 байт").arg(count);
}

QString shortFrame(int size)
{
    return size == 0 ? QStringLiteral("пустой кадр") : QStringLiteral("кадр короток: %1").arg(byteCount(size));
}

// Big-endian, as Modbus puts every 16-bit field; the caller checked the length.
int word(const QByteArray &bytes, int offset)
{
    return (quint8(bytes.at(offset)) << 8) | quint8(bytes.at(offset + 1));
}

QString tableOf(quint8 function)
{
    return function == readInput ? QStringLiteral("input") : QStringLiteral("holding");
}

QString registerSpan(const QByteArray &pdu, quint8 function)
{
    return QStringLiteral("%1 %2, %3 рег.").arg(tableOf(function)).arg(word(pdu, 0)).arg(word(pdu, 2));
}

// pdu: the data after the function code. Empty when the data is too short for the function.
QString modbusRequest(quint8 function, const QByteArray &pdu)
{
    switch (function) {
    case readHolding:
    case readInput:
        if (pdu.size() >= 4)
            return QStringLiteral("чтение ") + registerSpan(pdu, function);
        break;
    case writeSingle:
        if (pdu.size() >= 4)
            return QStringLiteral("запись holding %1 = %2").arg(word(pdu, 0)).arg(word(pdu, 2));
        break;
    case writeMultiple:
        if (pdu.size() >= 4)
            return QStringLiteral("запись ") + registerSpan(pdu, function);
        break;
    default:
        return QStringLiteral("функция %1").arg(hexByte(function));
    }
    return QString();
}

QString modbusAnswer(quint8 function, const QByteArray &pdu)
{
    if (function & exceptionBit) {
        if (pdu.isEmpty())
            return QStringLiteral("исключение без кода");
        return QStringLiteral("исключение %1").arg(hexByte(quint8(pdu.at(0))));
    }
    switch (function) {
    case readHolding:
    case readInput:
        if (!pdu.isEmpty())
            return QStringLiteral("ответ: ") + byteCount(quint8(pdu.at(0)));
        break;
    case writeSingle:
        if (pdu.size() >= 4)
            return QStringLiteral("записано holding %1 = %2").arg(word(pdu, 0)).arg(word(pdu, 2));
        break;
    case writeMultiple:
        if (pdu.size() >= 4)
            return QStringLiteral("записано ") + registerSpan(pdu, function);
        break;
    default:
        return QStringLiteral("ответ, функция %1").arg(hexByte(function));
    }
    return QString();
}

QString modbusText(bool sent, const QByteArray &bytes)
{
    if (bytes.size() < modbusHeadSize)
        return shortFrame(bytes.size());
    const quint8 function = quint8(bytes.at(1));
    const QByteArray pdu = bytes.mid(modbusHeadSize);
    const QString meaning = sent ? modbusRequest(function, pdu) : modbusAnswer(function, pdu);
    const QString unit = QStringLiteral("адрес %1: ").arg(quint8(bytes.at(0)));
    if (meaning.isEmpty())
        return unit + QStringLiteral("функция %1, ").arg(hexByte(function)) + shortFrame(bytes.size());
    return unit + meaning;
}

QString velmorbusSpan(const VelmorBusPacket &packet)
{
    return QStringLiteral("%1, %2").arg(hexAddress(packet.addr()), byteCount(packet.size()));
}

// The packet decodes answers; a request of stat 0 reads the same up to its size field, so
// the sized head goes through it and the data behind a write must make up the size.
QString velmorbusRequest(const QByteArray &body)
{
    const VelmorBusPacket head = VelmorBusPacket::fromByteArray(body.left(velmorbusSizedHeadSize));
    if (head.isValid() && head.stat() == 0) {
        const int dataSize = body.size() - velmorbusSizedHeadSize;
        if (head.cmd() == VelmorBusPacket::CmdRead && dataSize == 0)
            return QStringLiteral("чтение ") + velmorbusSpan(head);
        if (head.cmd() == VelmorBusPacket::CmdWrite && dataSize == head.size())
            return QStringLiteral("запись ") + velmorbusSpan(head);
    }
    return QStringLiteral("запрос не разобран");
}

QString velmorbusAnswer(const QByteArray &body)
{
    const VelmorBusPacket packet = VelmorBusPacket::fromByteArray(body);
    if (!packet.isValid())
        return QStringLiteral("ответ не разобран");
    if (packet.stat() != VelmorBusPacket::StatOk)
        return QStringLiteral("отказ, статус %1, адрес %2").arg(hexByte(packet.stat()), hexAddress(packet.addr()));
    if (packet.cmd() == VelmorBusPacket::CmdWrite)
        return QStringLiteral("запись подтверждена ") + velmorbusSpan(packet);
    return QStringLiteral("ответ чтения %1, %2").arg(hexAddress(packet.addr()), byteCount(packet.data().size()));
}

QString velmorbusText(bool sent, const QByteArray &frame)
{
    if (frame.size() <= VelmorbusFrame::IdSize + VelmorbusFrame::CrcSize)
        return shortFrame(frame.size());
    const QString device = QStringLiteral("устр. %1: ").arg(quint8(frame.at(0)));
    if (!VelmorbusFrame::crcMatches(frame))
        return device + QStringLiteral("CRC неверна");
    const QByteArray body = VelmorbusFrame::body(frame);
    return device + (sent ? velmorbusRequest(body) : velmorbusAnswer(body));
}

} // namespace

Protocol protocolOf(int devProto)
{
    switch (devProto) {
    case VelmorDeviceModel::VelmorbusRtu:
    case VelmorDeviceModel::VelmorbusTcp:
        return Protocol::Velmorbus;
    case VelmorDeviceModel::ModbusRtu:
    case VelmorDeviceModel::ModbusTcp:
        return Protocol::Modbus;
    default:
        return Protocol::Unknown;
    }
}

QString text(Protocol protocol, bool sent, const QByteArray &bytes)
{
    switch (protocol) {
    case Protocol::Modbus:
        return modbusText(sent, bytes);
    case Protocol::Velmorbus:
        return velmorbusText(sent, bytes);
    case Protocol::Unknown:
        break;
    }
    return QStringLiteral("протокол неизвестен");
}

} // namespace FrameDecode
