#include "fakevelmorcontroller.h"
#include "velmorbusframe.h"

#include <QDataStream>
#include <QTimer>

namespace {

// Frame length of a request from its first bytes, or 0 while too little is known.
int requestFrameLength(const QByteArray &buffer)
{
    if (buffer.size() < 2)
        return 0;
    const int cmd = buffer.at(1) & 0x0F;
    if (cmd == VelmorBusPacket::CmdRead4)
        return 1 + 3 + 2;
    if (cmd == VelmorBusPacket::CmdRead)
        return 1 + 5 + 2;
    if (buffer.size() < 6)
        return 0;
    const int size = quint8(buffer.at(4)) | quint8(buffer.at(5)) << 8;
    return 1 + 5 + size + 2;
}

} // namespace

FakeVelmorController::FakeVelmorController(QObject *parent)
    : QObject(parent)
{
    connect(&m_peer, &PtyPeer::bytesReceived, this, &FakeVelmorController::onBytes);
    m_handler = [](const Request &request) {
        return request.cmd == VelmorBusPacket::CmdRead ? readAnswer(request, QByteArray(request.size, '\0'))
                                                       : writeAnswer(request);
    };
}

QString FakeVelmorController::portName() const
{
    return m_peer.slavePath();
}

void FakeVelmorController::setHandler(Handler handler)
{
    m_handler = std::move(handler);
}

void FakeVelmorController::setAnswerDelayMs(int delayMs)
{
    m_answerDelayMs = delayMs;
}

QList<FakeVelmorController::Request> FakeVelmorController::requests() const
{
    return m_requests;
}

void FakeVelmorController::clearHistory()
{
    m_requests.clear();
    m_peer.takeReceived();
}

PtyPeer &FakeVelmorController::peer()
{
    return m_peer;
}

QByteArray FakeVelmorController::readAnswer(const Request &request, const QByteArray &data, int stat)
{
    QByteArray body;
    QDataStream stream(&body, QIODevice::WriteOnly);
    stream.setByteOrder(QDataStream::LittleEndian);
    stream << quint8(stat | VelmorBusPacket::CmdRead) << request.addr << quint16(data.size());
    if (stat == VelmorBusPacket::StatOk)
        body.append(data);
    return VelmorbusFrame::build(request.id, body);
}

QByteArray FakeVelmorController::writeAnswer(const Request &request, int stat)
{
    QByteArray body;
    QDataStream stream(&body, QIODevice::WriteOnly);
    stream.setByteOrder(QDataStream::LittleEndian);
    stream << quint8(stat | VelmorBusPacket::CmdWrite) << request.addr << request.size;
    return VelmorbusFrame::build(request.id, body);
}

void FakeVelmorController::onBytes(const QByteArray &bytes)
{
    m_buffer.append(bytes);
    for (int length = requestFrameLength(m_buffer); length > 0 && m_buffer.size() >= length;
         length = requestFrameLength(m_buffer)) {
        Request request;
        request.frame = m_buffer.left(length);
        m_buffer.remove(0, length);
        request.id = quint8(request.frame.at(0));
        request.cmd = request.frame.at(1) & 0x0F;
        request.addr = quint8(request.frame.at(2)) | quint8(request.frame.at(3)) << 8;
        if (request.cmd != VelmorBusPacket::CmdRead4)
            request.size = quint8(request.frame.at(4)) | quint8(request.frame.at(5)) << 8;
        if (request.cmd == VelmorBusPacket::CmdWrite)
            request.data = request.frame.mid(6, request.size);
        m_requests.append(request);
        emit requestReceived();
        if (m_answerDelayMs > 0)
            QTimer::singleShot(m_answerDelayMs, this, [this, request] { answer(request); });
        else
            answer(request);
    }
}

void FakeVelmorController::answer(const Request &request)
{
    const QByteArray response = m_handler(request);
    if (!response.isEmpty())
        m_peer.write(response);
}
