#include "velmorbusslave.h"

#include "trafficlogger.h"
#include "velmorbusframe.h"
#include "velmorbuspacket.h"
#include "velmorbusrequest.h"
#include "velmorbusresponder.h"

#include <QIODevice>

namespace {

// Device id + head byte + addr + CRC: the shortest request frame (command 1).
constexpr int MinFrameSize = 6;
// What the short fault leaves of an answer: device id, head byte, addr, one more byte.
constexpr int ShortFrameSize = 5;

} // namespace

VelmorbusSlave::VelmorbusSlave(QIODevice *line, quint8 id, VelmorbusResponder *responder, FaultInjector *faults,
                               TrafficLogger *logger, QObject *parent)
    : QObject(parent)
    , m_line(line)
    , m_id(id)
    , m_responder(responder)
    , m_faults(faults)
    , m_logger(logger)
    , m_heldAnswers(std::make_unique<QObject>())
{
    m_frameTimer.setSingleShot(true);
    // A coarse timer may fire up to 5 % late, enough to merge two frames on a busy line.
    m_frameTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_frameTimer, &QTimer::timeout, this, &VelmorbusSlave::onFrameEnd);
    connect(m_line, &QIODevice::readyRead, this, &VelmorbusSlave::onReadyRead);
    connect(m_line, &QIODevice::readChannelFinished, this, &VelmorbusSlave::onPeerGone);
}

VelmorbusSlave::~VelmorbusSlave() = default;

void VelmorbusSlave::onReadyRead()
{
    const QByteArray bytes = m_line->readAll();
    m_frameTimer.start(InterFrameDelayMs);
    if (m_droppedBytes > 0) {
        m_droppedBytes += bytes.size();
        return;
    }
    m_buffer += bytes;
    if (m_buffer.size() <= MaxFrameSize)
        return;
    m_logger->request(m_buffer.left(LoggedHeadSize),
                      QStringLiteral("head of a frame longer than %1 bytes, dropped").arg(MaxFrameSize));
    m_droppedBytes = m_buffer.size();
    m_buffer.clear();
}

void VelmorbusSlave::onFrameEnd()
{
    if (m_droppedBytes > 0) {
        m_logger->event(QStringLiteral("the frame dropped ended after %1 bytes").arg(m_droppedBytes));
        m_droppedBytes = 0;
        return;
    }
    QByteArray frame;
    frame.swap(m_buffer);
    deliver(answerTo(frame));
}

void VelmorbusSlave::onPeerGone()
{
    // Neither the frame begun nor the answers held are for the next peer.
    m_logger->event(QStringLiteral("the peer closed the line"));
    m_frameTimer.stop();
    m_buffer.clear();
    m_droppedBytes = 0;
    m_heldAnswers = std::make_unique<QObject>();
}

VelmorbusSlave::Answer VelmorbusSlave::answerTo(const QByteArray &frame)
{
    Answer answer;
    QString why;
    const QByteArray body = requestBody(frame, &why);
    if (body.isEmpty()) {
        m_logger->request(frame, why + QStringLiteral(", ignored"));
        return answer;
    }
    const VelmorbusRequest request = VelmorbusRequest::fromBody(body);
    if (!request.isValid()) {
        m_logger->request(frame, QStringLiteral("not a request, ignored"));
        return answer;
    }
    m_logger->request(frame, request.meaning());
    const VelmorBusPacket packet = m_responder->respond(request, &answer.meaning);
    answer.answered = true;
    answer.fault = m_faults->next();
    answer.frame = spoil(answer.fault, packet);
    return answer;
}

QByteArray VelmorbusSlave::requestBody(const QByteArray &frame, QString *why) const
{
    if (frame.size() < MinFrameSize) {
        *why = QStringLiteral("too short");
        return QByteArray();
    }
    if (!VelmorbusFrame::crcMatches(frame)) {
        *why = QStringLiteral("CRC mismatch");
        return QByteArray();
    }
    if (quint8(frame.at(0)) != m_id) {
        *why = QStringLiteral("for device %1").arg(quint8(frame.at(0)));
        return QByteArray();
    }
    return VelmorbusFrame::body(frame);
}

void VelmorbusSlave::deliver(const Answer &answer)
{
    if (!answer.answered)
        return;
    if (m_answerDelayMs <= 0) {
        send(answer);
        return;
    }
    QTimer::singleShot(m_answerDelayMs, Qt::PreciseTimer, m_heldAnswers.get(), [this, answer]() { send(answer); });
}

QByteArray VelmorbusSlave::spoil(FaultInjector::Fault fault, VelmorBusPacket packet) const
{
    switch (fault) {
    case FaultInjector::Silence:
        return QByteArray();
    case FaultInjector::WrongId:
        return VelmorbusFrame::build(quint8(m_id + 1), packet.toByteArray());
    case FaultInjector::BadCrc: {
        QByteArray bytes = VelmorbusFrame::build(m_id, packet.toByteArray());
        bytes[bytes.size() - 1] = char(bytes.at(bytes.size() - 1) ^ 0xFF);
        return bytes;
    }
    case FaultInjector::Short:
        return VelmorbusFrame::build(m_id, packet.toByteArray()).left(ShortFrameSize);
    case FaultInjector::BadStatus:
        packet.setStat(StatFault);
        packet.setData(QByteArray());
        return VelmorbusFrame::build(m_id, packet.toByteArray());
    default:
        return VelmorbusFrame::build(m_id, packet.toByteArray());
    }
}

void VelmorbusSlave::send(Answer answer)
{
    if (!answer.frame.isEmpty()) {
        // A line whose peer reads nothing takes no more than this.
        if (m_line->bytesToWrite() + answer.frame.size() > MaxUnsentBytes)
            answer.meaning += QStringLiteral(" | not sent: the peer has not read the last %1 bytes")
                                  .arg(m_line->bytesToWrite());
        else if (m_line->write(answer.frame) != answer.frame.size())
            answer.meaning += QStringLiteral(" | not sent: ") + m_line->errorString();
    }
    const QString faultName = answer.fault == FaultInjector::NoFault ? QString() : FaultInjector::name(answer.fault);
    m_logger->answer(answer.frame, answer.meaning, faultName);
}
