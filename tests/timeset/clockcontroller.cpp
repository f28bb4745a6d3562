#include "clockcontroller.h"

namespace {
// device id + head byte + addr (2) + size (2) + CRC (2)
constexpr int frameWithoutDataSize = 8;
constexpr int writeCommand = 4;
}

ClockController::ClockController(QObject *parent)
    : QObject(parent)
{
    connect(&m_peer, &PtyPeer::bytesReceived, this, &ClockController::onBytesReceived);
}

bool ClockController::isOpen() const
{
    return m_peer.isOpen();
}

QString ClockController::portPath() const
{
    return m_peer.slavePath();
}

void ClockController::setAnswer(const QByteArray &answer)
{
    m_answer = answer;
}

QList<QByteArray> ClockController::requests() const
{
    return m_requests;
}

void ClockController::onBytesReceived(const QByteArray &bytes)
{
    m_pending.append(bytes);
    int frameSize = pendingFrameSize();
    while (frameSize > 0 && m_pending.size() >= frameSize) {
        m_requests.append(m_pending.left(frameSize));
        m_pending.remove(0, frameSize);
        if (!m_answer.isEmpty())
            m_peer.write(m_answer);
        frameSize = pendingFrameSize();
    }
}

// Reads (command 2) carry no data; writes (command 4) carry the size field's count of bytes.
// Zero while the head of the frame has not arrived yet.
int ClockController::pendingFrameSize() const
{
    if (m_pending.size() < 6)
        return 0;
    if ((quint8(m_pending.at(1)) & 0x0F) != writeCommand)
        return frameWithoutDataSize;
    const int dataSize = quint8(m_pending.at(4)) | (quint8(m_pending.at(5)) << 8);
    return frameWithoutDataSize + dataSize;
}
