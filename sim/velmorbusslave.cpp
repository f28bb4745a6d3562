#include "velmorbusslave.h"

#include "trafficlogger.h"
#include "velmorbuspacket.h"
#include "velmorbusrequest.h"
#include "velmorbusresponder.h"

#include <QIODevice>
#include <QtEndian>

namespace {

// Device id + head byte + addr + CRC: the shortest request frame (command 1).
constexpr int MinFrameSize = 6;
constexpr int CrcSize = 2;
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
{
    m_frameTimer.setSingleShot(true);
    // A coarse timer may fire up to 5 % late, enough to merge two frames on a busy line.
    m_frameTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_frameTimer, &QTimer::timeout, this, &VelmorbusSlave::onFrameEnd);
    connect(m_line, &QIODevice::readyRead, this, &VelmorbusSlave::onReadyRead);
}

QByteArray VelmorbusSlave::frame(quint8 id, const QByteArray &body)
{
    QByteArray bytes = char(id) + body;
    QByteArray crc(CrcSize, '\0');
    qToLittleEndian(VelmorBusPacket::crc16(bytes), crc.data());
    return bytes + crc;
}

void VelmorbusSlave::onReadyRead()
{
    m_buffer += m_line->readAll();
    m_frameTimer.start(InterFrameDelayMs);
}

void VelmorbusSlave::onFrameEnd()
{
    QByteArray frame;
    frame.swap(m_buffer);
    QString why;
    const QByteArray body = requestBody(frame, &why);
    if (body.isEmpty()) {
        m_logger->request(frame, why + QStringLiteral(", ignored"));
        return;
    }
    const VelmorbusRequest request = VelmorbusRequest::fromBody(body);
    if (!request.isValid()) {
        m_logger->request(frame, QStringLiteral("not a request, ignored"));
        return;
    }
    m_logger->request(frame, request.meaning());
    answer(request);
}

QByteArray VelmorbusSlave::requestBody(const QByteArray &frame, QString *why) const
{
    if (frame.size() < MinFrameSize) {
        *why = QStringLiteral("too short");
        return QByteArray();
    }
    const QByteArray covered = frame.left(frame.size() - CrcSize);
    if (VelmorBusPacket::crc16(covered) != qFromLittleEndian<quint16>(frame.constData() + covered.size())) {
        *why = QStringLiteral("CRC mismatch");
        return QByteArray();
    }
    if (quint8(frame.at(0)) != m_id) {
        *why = QStringLiteral("for device %1").arg(quint8(frame.at(0)));
        return QByteArray();
    }
    return covered.mid(1);
}

void VelmorbusSlave::answer(const VelmorbusRequest &request)
{
    QString meaning;
    const VelmorBusPacket packet = m_responder->respond(request, &meaning);
    const FaultInjector::Fault fault = m_faults->next();
    const QByteArray bytes = spoil(fault, packet);
    if (m_answerDelayMs <= 0) {
        send(bytes, meaning, fault);
        return;
    }
    QTimer::singleShot(m_answerDelayMs, Qt::PreciseTimer, this,
                       [this, bytes, meaning, fault]() { send(bytes, meaning, fault); });
}

QByteArray VelmorbusSlave::spoil(FaultInjector::Fault fault, VelmorBusPacket packet) const
{
    switch (fault) {
    case FaultInjector::Silence:
        return QByteArray();
    case FaultInjector::WrongId:
        return frame(quint8(m_id + 1), packet.toByteArray());
    case FaultInjector::BadCrc: {
        QByteArray bytes = frame(m_id, packet.toByteArray());
        bytes[bytes.size() - 1] = char(bytes.at(bytes.size() - 1) ^ 0xFF);
        return bytes;
    }
    case FaultInjector::Short:
        return frame(m_id, packet.toByteArray()).left(ShortFrameSize);
    case FaultInjector::BadStatus:
        packet.setStat(StatFault);
        packet.setData(QByteArray());
        return frame(m_id, packet.toByteArray());
    default:
        return frame(m_id, packet.toByteArray());
    }
}

void VelmorbusSlave::send(const QByteArray &frame, const QString &meaning, FaultInjector::Fault fault)
{
    if (!frame.isEmpty())
        m_line->write(frame);
    const QString faultName = fault == FaultInjector::NoFault ? QString() : FaultInjector::name(fault);
    m_logger->answer(frame, meaning, faultName);
}
