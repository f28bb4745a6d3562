#include "velmorbuspacket.h"

#include <QDataStream>
#include <QDebug>
#include <QString>
#include <QtEndian>

#include <array>

namespace {

// Head byte + addr, the smallest body of any command.
constexpr int MinBodySize = 3;
// Head byte + addr + size.
constexpr int SizedHeaderSize = 5;
// Head byte + addr + 4 data bytes.
constexpr int Read4ResponseSize = 7;

bool hasSizeField(int cmd)
{
    return cmd == VelmorBusPacket::CmdRead || cmd == VelmorBusPacket::CmdWrite;
}

bool carriesData(int cmd, int stat)
{
    if (cmd == VelmorBusPacket::CmdWrite)
        return true;
    return (cmd == VelmorBusPacket::CmdRead4 || cmd == VelmorBusPacket::CmdRead)
        && stat == VelmorBusPacket::StatOk;
}

quint16 readLittleEndian16(const QByteArray &bytes, int offset)
{
    return qFromLittleEndian<quint16>(bytes.constData() + offset);
}

// Table of the reflected polynomial 0xA001, one entry per byte value.
std::array<quint16, 256> makeCrcTable()
{
    std::array<quint16, 256> table {};
    for (int value = 0; value < 256; ++value) {
        quint16 crc = quint16(value);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
        table[size_t(value)] = crc;
    }
    return table;
}

QString hexByteText(int value)
{
    return QStringLiteral("0x%1").arg(value, 2, 16, QLatin1Char('0'));
}

} // namespace

VelmorBusPacket::VelmorBusPacket() = default;

VelmorBusPacket::VelmorBusPacket(int cmd, quint16 addr, quint16 size)
    : m_cmd(cmd)
    , m_addr(addr)
    , m_size(size)
    , m_valid(true)
{
}

VelmorBusPacket VelmorBusPacket::fromByteArray(const QByteArray &body)
{
    if (body.size() <= MinBodySize)
        return VelmorBusPacket();

    const quint8 head = quint8(body.at(0));
    VelmorBusPacket packet(head & 0x0F, readLittleEndian16(body, 1), 0);
    packet.m_stat = head & 0xF0;

    if (packet.m_cmd == CmdRead4) {
        if (packet.m_stat != StatOk || body.size() != Read4ResponseSize)
            return VelmorBusPacket();
        packet.m_data = body.right(4);
        return packet;
    }

    if (!hasSizeField(packet.m_cmd) || body.size() < SizedHeaderSize)
        return VelmorBusPacket();

    packet.m_size = readLittleEndian16(body, 3);
    const int rest = body.size() - SizedHeaderSize;
    if (packet.m_cmd == CmdRead && packet.m_stat == StatOk) {
        if (rest != packet.m_size)
            return VelmorBusPacket();
        packet.m_data = body.right(rest);
        return packet;
    }
    if (rest != 0)
        return VelmorBusPacket();
    return packet;
}

QByteArray VelmorBusPacket::toByteArray() const
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << *this;
    return bytes;
}

void VelmorBusPacket::setData(const QByteArray &data)
{
    m_data = data;
}

void VelmorBusPacket::setData(qint32 value)
{
    if (m_data.size() < 4)
        m_data.resize(4);
    qToLittleEndian<qint32>(value, m_data.data());
}

QVector<qint32> VelmorBusPacket::dataAsInt32Vector() const
{
    QVector<qint32> values;
    if (m_data.size() % 4 != 0)
        return values;
    values.reserve(m_data.size() / 4);
    for (int offset = 0; offset < m_data.size(); offset += 4) {
        values.append(qFromLittleEndian<qint32>(m_data.constData() + offset));
    }
    return values;
}

quint16 VelmorBusPacket::crc16(const QByteArray &bytes)
{
    static const std::array<quint16, 256> table = makeCrcTable();
    quint16 crc = 0xFFFF;
    for (const char byte : bytes)
        crc = quint16((crc >> 8) ^ table[(crc ^ quint8(byte)) & 0xFF]);
    return crc;
}

QDataStream &operator<<(QDataStream &stream, const VelmorBusPacket &packet)
{
    const QDataStream::ByteOrder previousOrder = stream.byteOrder();
    stream.setByteOrder(QDataStream::LittleEndian);
    stream << quint8((packet.stat() | packet.cmd()) & 0xFF) << packet.addr();
    if (hasSizeField(packet.cmd()))
        stream << packet.size();
    if (carriesData(packet.cmd(), packet.stat())) {
        const QByteArray data = packet.data();
        stream.writeRawData(data.constData(), data.size());
    }
    stream.setByteOrder(previousOrder);
    return stream;
}

QDebug operator<<(QDebug debug, const VelmorBusPacket &packet)
{
    const QDebugStateSaver saver(debug);
    debug.nospace() << "VelmorBusPacket(" << "cmd/stat: " << hexByteText(packet.cmd() | packet.stat())
                    << ", addr: " << packet.addr() << " [" << hexByteText(packet.addr()) << "]"
                    << ", size: " << packet.size()
                    << ", data: " << QString::fromLatin1(packet.data().toHex()) << ")";
    return debug;
}
