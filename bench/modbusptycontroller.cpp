#include "modbusptycontroller.h"

#include "velmorbusframe.h"

#include <QByteArray>
#include <QtEndian>

// A Modbus RTU frame has the Velmorbus frame's layout: unit id, PDU, CRC-16/MODBUS low
// byte first, so the one frame helper serves both.
namespace {

// Unit id + function + address + count + CRC.
constexpr int readRequestBytes = 1 + 1 + 2 + 2 + 2;
constexpr int maxReadCount = 125;
// Tenths of a character of silence that end a frame.
constexpr int silenceTenths = 35;

} // namespace

ModbusPtyController::ModbusPtyController(int baudRate)
    : PlayedLine(baudRate)
{
    start();
}

ModbusPtyController::~ModbusPtyController()
{
    stop();
}

void ModbusPtyController::resetCounts()
{
    m_bytes = 0;
    m_frames = 0;
}

qint64 ModbusPtyController::silenceNs() const
{
    return wireNs(silenceTenths) / 10;
}

qint64 ModbusPtyController::floorNs() const
{
    return wireNs(int(m_bytes)) + m_frames * silenceNs();
}

int ModbusPtyController::answer(const unsigned char *bytes, int size, qint64 receivedNs)
{
    if (size < readRequestBytes)
        return 0;
    const quint8 function = bytes[1];
    const quint16 addr = qFromBigEndian<quint16>(bytes + 2);
    const quint16 count = qFromBigEndian<quint16>(bytes + 4);
    const bool isRead = (function == 0x03 || function == 0x04) && count >= 1 && count <= maxReadCount
                        && VelmorbusFrame::crcMatches(QByteArray(reinterpret_cast<const char *>(bytes), readRequestBytes));
    if (!isRead)
        return 1; // resynchronise on the next byte

    QByteArray pdu;
    pdu.append(char(function));
    pdu.append(char(count * 2));
    for (int i = 0; i < count; ++i) {
        char value[2];
        qToBigEndian(quint16((addr + i) * 7919), value);
        pdu.append(value, 2);
    }
    const QByteArray frame = VelmorbusFrame::build(quint8(bytes[0]), pdu);
    if (sendAt(receivedNs + wireNs(readRequestBytes) + silenceNs() + wireNs(frame.size()), frame)) {
        m_bytes += readRequestBytes + frame.size();
        m_frames += 2;
    }
    return readRequestBytes;
}
