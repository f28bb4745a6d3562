#include "velmorbusframe.h"

#include "velmorbuspacket.h"

QByteArray velmorbusFrame(quint8 id, const QByteArray &body)
{
    QByteArray bytes = char(id) + body;
    const quint16 crc = VelmorBusPacket::crc16(bytes);
    bytes.append(char(crc & 0xFF));
    bytes.append(char(crc >> 8));
    return bytes;
}
