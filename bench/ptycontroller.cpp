#include "ptycontroller.h"

#include "velmorbusframe.h"
#include "velmorbuspacket.h"

#include <QtEndian>

namespace {

// Device id + head byte + addr + size + CRC.
constexpr int readRequestBytes = 1 + 1 + 2 + 2 + 2;
// Device id + head byte + addr + size + 4 data bytes + CRC.
constexpr int readAnswerBytes = 1 + 1 + 2 + 2 + 4 + 2;

} // namespace

PtyController::PtyController(int baudRate)
    : PlayedLine(baudRate)
{
    start();
}

PtyController::~PtyController()
{
    stop();
}

qint64 PtyController::wireTimeNs() const
{
    return wireNs(readRequestBytes + readAnswerBytes);
}

int PtyController::answered() const
{
    return m_answered;
}

int PtyController::answer(const unsigned char *bytes, int size, qint64 receivedNs)
{
    if (size < readRequestBytes)
        return 0;
    const QByteArray request(reinterpret_cast<const char *>(bytes), readRequestBytes);
    const bool isRead = bytes[1] == VelmorBusPacket::CmdRead && qFromLittleEndian<quint16>(bytes + 4) == 4
                        && VelmorbusFrame::crcMatches(request);
    if (!isRead)
        return 1; // resynchronise on the next byte

    QByteArray body;
    body.append(char(VelmorBusPacket::StatOk | VelmorBusPacket::CmdRead));
    body.append(reinterpret_cast<const char *>(bytes + 2), 4); // addr and size echoed
    const qint32 value = qint32(m_answered.load()) * 7919;
    char data[4];
    qToLittleEndian(value, data);
    body.append(data, 4);
    if (sendAt(receivedNs + wireTimeNs(), VelmorbusFrame::build(quint8(bytes[0]), body)))
        ++m_answered;
    return readRequestBytes;
}
