#include "velmorbusframe.h"

#include "velmorbuspacket.h"

#include <QtEndian>

namespace VelmorbusFrame {

QByteArray build(quint8 id, const QByteArray &body)
{
    QByteArray frame = char(id) + body;
    char crc[CrcSize];
    qToLittleEndian(VelmorBusPacket::crc16(frame), crc);
    frame.append(crc, CrcSize);
    return frame;
}

bool crcMatches(const QByteArray &frame)
{
    if (frame.size() < IdSize + CrcSize)
        return false;
    const int covered = frame.size() - CrcSize;
    return VelmorBusPacket::crc16(frame.left(covered)) == qFromLittleEndian<quint16>(frame.constData() + covered);
}

QByteArray body(const QByteArray &frame)
{
    if (frame.size() < IdSize + CrcSize)
        return QByteArray();
    return frame.mid(IdSize, frame.size() - IdSize - CrcSize);
}

} // namespace VelmorbusFrame
