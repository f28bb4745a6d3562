#include "packetcheck.h"

#include "referencecrc.h"
#include "velmorbuspacket.h"

#include <QDataStream>
#include <QDebug>
#include <QtEndian>

namespace {

// The id the framed variant puts in front of the body; any value would do.
constexpr quint8 FrameId = 0x21;
// Device id + head byte + addr + size + CRC: the shortest response the master accepts.
constexpr int MinFrameSize = 8;

bool isDefaultPacket(const VelmorBusPacket &packet)
{
    return packet.cmd() == 0 && packet.stat() == 0 && packet.addr() == 0 && packet.size() == 0
        && packet.data().isEmpty() && !packet.isValid();
}

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

QByteArray streamed(const VelmorBusPacket &packet, QDataStream::ByteOrder order, bool *orderKept)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setByteOrder(order);
    stream << packet;
    *orderKept = stream.byteOrder() == order;
    return bytes;
}

QString checkEncoding(const VelmorBusPacket &packet, const QByteArray &body)
{
    const QByteArray encoded = packet.toByteArray();
    if (encoded != body)
        return QStringLiteral("valid body %1 re-encodes as %2").arg(hex(body), hex(encoded));
    bool orderKept = false;
    if (streamed(packet, QDataStream::BigEndian, &orderKept) != body || !orderKept)
        return QStringLiteral("stream form of %1 differs or loses the byte order").arg(hex(body));
    return QString();
}

QString checkFields(const VelmorBusPacket &packet, const QByteArray &body)
{
    const quint8 head = quint8(body.at(0));
    if (packet.cmd() != (head & 0x0F) || packet.stat() != (head & 0xF0))
        return QStringLiteral("head of %1 decoded as cmd %2 stat %3").arg(hex(body)).arg(packet.cmd()).arg(packet.stat());
    if (packet.addr() != qFromLittleEndian<quint16>(body.constData() + 1))
        return QStringLiteral("addr of %1 decoded as %2").arg(hex(body)).arg(packet.addr());
    const QVector<qint32> words = packet.dataAsInt32Vector();
    const int expectedWords = packet.data().size() % 4 == 0 ? packet.data().size() / 4 : 0;
    if (words.size() != expectedWords)
        return QStringLiteral("%1 data bytes gave %2 words").arg(packet.data().size()).arg(words.size());
    return QString();
}

} // namespace

QString PacketCheck::run(const QByteArray &input) const
{
    const QString failure = checkBody(input);
    return failure.isEmpty() ? checkFramed(input) : failure;
}

QString PacketCheck::checkBody(const QByteArray &body)
{
    const VelmorBusPacket packet = VelmorBusPacket::fromByteArray(body);
    QString debugText;
    QDebug(&debugText) << packet;
    if (!debugText.startsWith(QLatin1String("VelmorBusPacket(")))
        return QStringLiteral("debug text of %1 is %2").arg(hex(body), debugText);
    if (!packet.isValid()) {
        return isDefaultPacket(packet) ? QString()
                                       : QStringLiteral("invalid decode of %1 is not the default packet").arg(hex(body));
    }
    const int cmd = packet.cmd();
    if (cmd != VelmorBusPacket::CmdRead4 && cmd != VelmorBusPacket::CmdRead && cmd != VelmorBusPacket::CmdWrite)
        return QStringLiteral("body %1 decoded with unknown command %2").arg(hex(body)).arg(cmd);
    const QString failure = checkFields(packet, body);
    return failure.isEmpty() ? checkEncoding(packet, body) : failure;
}

QString PacketCheck::checkFramed(const QByteArray &body)
{
    QByteArray frame = char(FrameId) + body;
    const quint16 crc = VelmorBusPacket::crc16(frame);
    if (crc != referenceCrc16(frame))
        return QStringLiteral("crc16 of %1 is %2, bit by bit %3").arg(hex(frame)).arg(crc, 4, 16).arg(referenceCrc16(frame), 4, 16);
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
    // A frame closed by its own CRC, low byte first, checks to zero.
    if (VelmorBusPacket::crc16(frame) != 0)
        return QStringLiteral("frame %1 does not check to zero").arg(hex(frame));
    if (frame.size() < MinFrameSize)
        return QString();

    // As the master takes a frame apart: the device id in front, the CRC behind.
    const QByteArray framedBody = frame.mid(1, frame.size() - 3);
    const VelmorBusPacket fromFrame = VelmorBusPacket::fromByteArray(framedBody);
    const VelmorBusPacket direct = VelmorBusPacket::fromByteArray(body);
    if (framedBody != body || fromFrame.isValid() != direct.isValid() || fromFrame.data() != direct.data()
        || fromFrame.toByteArray() != direct.toByteArray())
        return QStringLiteral("framed body %1 decodes unlike the bare body").arg(hex(frame));
    return QString();
}
