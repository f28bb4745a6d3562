#ifndef VELMORBUSFRAME_H
#define VELMORBUSFRAME_H

#include <QByteArray>

// A whole Velmorbus frame as it goes over the line: device id byte, body, and the
// CRC-16 of both, low byte first. Master, simulator, fakes and fuzz checks all use it.
namespace VelmorbusFrame {

constexpr int IdSize = 1;
constexpr int CrcSize = 2;

QByteArray build(quint8 id, const QByteArray &body);
// The CRC that closes the frame matches the bytes before it; false when the frame is
// too short to hold an id and a CRC.
bool crcMatches(const QByteArray &frame);
// The body between the id and the CRC; empty for a frame too short to hold one.
QByteArray body(const QByteArray &frame);

} // namespace VelmorbusFrame

#endif // VELMORBUSFRAME_H
