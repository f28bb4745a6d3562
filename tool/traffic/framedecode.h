#ifndef FRAMEDECODE_H
#define FRAMEDECODE_H

#include <QByteArray>
#include <QString>

// One line that tells a person what a traced frame is. The links trace, for Modbus RTU
// and TCP alike, the unit id followed by the PDU (no CRC, no MBAP header); for Velmorbus
// the whole frame from the device id to the CRC. Any bytes are safe: a frame that does
// not fit says so.
namespace FrameDecode {

enum class Protocol {
    Modbus,
    Velmorbus,
    Unknown
};

// The decoder for a device of the model's protocol code (devProto()).
Protocol protocolOf(int devProto);

QString text(Protocol protocol, bool sent, const QByteArray &bytes);

} // namespace FrameDecode

#endif // FRAMEDECODE_H
