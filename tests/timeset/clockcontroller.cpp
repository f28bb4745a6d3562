#include "clockcontroller.h"

#include "clockblock.h"
#include "velmorbusframe.h"

#include <QDateTime>

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
    m_readAnswer.reset();
    m_clockOffsetMs.reset();
}

void ClockController::setReadAnswer(const QByteArray &answer)
{
    m_readAnswer = answer;
    m_clockOffsetMs.reset();
}

void ClockController::runClock(qint64 offsetMs)
{
    m_clockOffsetMs = offsetMs;
    m_readAnswer.reset();
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
        const QByteArray request = m_pending.left(frameSize);
        m_requests.append(request);
        m_pending.remove(0, frameSize);
        const QByteArray answer = answerTo(request);
        if (!answer.isEmpty())
            m_peer.write(answer);
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

QByteArray ClockController::answerTo(const QByteArray &request) const
{
    if ((quint8(request.at(1)) & 0x0F) == writeCommand)
        return m_answer;
    if (m_clockOffsetMs)
        return clockAnswer(quint8(request.at(0)));
    return m_readAnswer.value_or(m_answer);
}

// Head byte 0x12 (status 0x10, read command 2), address 0x0C02 and size 8, low bytes first.
QByteArray ClockController::clockAnswer(quint8 id) const
{
    const QDateTime clock = QDateTime::currentDateTime().addMSecs(*m_clockOffsetMs);
    return VelmorbusFrame::build(id, QByteArray::fromHex("12020C0800") + ClockBlock::encode(clock));
}
