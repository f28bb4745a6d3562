#include "simvelmorbuscheck.h"

#include "controllerclock.h"
#include "faultinjector.h"
#include "referencecrc.h"
#include "trafficlogger.h"
#include "variablestore.h"
#include "velmorbuspacket.h"
#include "velmorbusresponder.h"
#include "velmorbusslave.h"

#include <QBuffer>
#include <QtEndian>

#include <cstring>

namespace {

constexpr quint8 DeviceId = 33;
constexpr int CrcSize = 2;
// Device id + head byte + addr + CRC.
constexpr int MinFrameSize = 6;
constexpr int VariableSize = 4;
// Head byte + addr.
constexpr int Read4RefusalSize = 3;
constexpr int StatOk = 0x10;
constexpr int StatNotHeld = 0x20;

SimVariable variable(const char *name, quint16 addr, const char *type, bool rw)
{
    SimVariable result;
    result.name = QString::fromLatin1(name);
    result.addr = addr;
    result.type = QString::fromLatin1(type);
    result.rw = rw;
    result.value = -addr;
    return result;
}

const QVector<SimVariable> Variables = {
    variable("S16", 0x10, "int16", false), variable("S32", 0x14, "int32", false),
    variable("W16", 0x40, "int16", true),  variable("W32", 0x44, "int32", true),
    variable("WF", 0x48, "float32", true), variable("WRAW", 0x4C, "", true),
};

const SimVariable *variableAt(quint16 addr)
{
    for (const SimVariable &candidate : Variables) {
        if (candidate.addr == addr)
            return &candidate;
    }
    return nullptr;
}

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

bool crcFits(const QByteArray &frame)
{
    const QByteArray covered = frame.left(frame.size() - CrcSize);
    return referenceCrc16(covered) == qFromLittleEndian<quint16>(frame.constData() + covered.size());
}

// The 4 data bytes of a variable's file value, little-endian; an int16 in bytes 2..3.
QByteArray fileValueBytes(const SimVariable &entry)
{
    quint32 pattern = quint32(qint32(entry.value));
    if (entry.isFloat32()) {
        const float value = float(entry.value);
        std::memcpy(&pattern, &value, sizeof pattern);
    } else if (entry.isInt16()) {
        pattern <<= 16;
    }
    QByteArray bytes(VariableSize, '\0');
    qToLittleEndian(pattern, bytes.data());
    return bytes;
}

QByteArray withCrc(const QByteArray &bytes)
{
    const quint16 crc = referenceCrc16(bytes);
    return bytes + char(crc & 0xFF) + char(crc >> 8);
}

} // namespace

SimVelmorbusCheck::SimVelmorbusCheck()
    : m_log(std::fopen("/dev/null", "w"))
    , m_noFaults(std::make_unique<FaultInjector>(0, QVector<FaultInjector::Fault>(), 0))
{
}

SimVelmorbusCheck::~SimVelmorbusCheck()
{
    if (m_log)
        std::fclose(m_log);
}

QString SimVelmorbusCheck::run(const QByteArray &script)
{
    if (!m_log)
        return QStringLiteral("cannot open /dev/null");
    TrafficLogger logger(m_log);
    VariableStore store(Variables, false);
    ControllerClock clock;
    VelmorbusResponder responder(&store, &clock);
    QBuffer line;
    line.open(QIODevice::ReadWrite);
    VelmorbusSlave slave(&line, DeviceId, &responder, m_noFaults.get(), &logger);
    m_expected.clear();
    for (const SimVariable &entry : Variables)
        m_expected.insert(entry.addr, fileValueBytes(entry));

    for (int at = 0; at < script.size();) {
        const quint8 head = quint8(script.at(at));
        QByteArray frame = script.mid(at + 1, head & 0x7F);
        at += 1 + (head & 0x7F);
        if (head & 0x80)
            frame = withCrc(frame);
        Request request;
        const bool isRequest = decodeRequest(frame, &request);
        const VelmorbusSlave::Answer answer = slave.answerTo(frame);
        if (answer.answered != isRequest)
            return QStringLiteral("frame %1 %2").arg(hex(frame), isRequest ? QStringLiteral("not answered")
                                                                           : QStringLiteral("answered"));
        const QString failure = isRequest ? checkAnswer(request, answer.frame) : QString();
        if (!failure.isEmpty())
            return QStringLiteral("frame %1: %2").arg(hex(frame), failure);
    }
    return QString();
}

bool SimVelmorbusCheck::decodeRequest(const QByteArray &frame, Request *request)
{
    if (frame.size() < MinFrameSize || !crcFits(frame) || quint8(frame.at(0)) != DeviceId)
        return false;
    const QByteArray body = frame.mid(1, frame.size() - 1 - CrcSize);
    const quint8 head = quint8(body.at(0));
    request->cmd = head;
    request->addr = qFromLittleEndian<quint16>(body.constData() + 1);
    if (body.size() >= 5) {
        request->size = qFromLittleEndian<quint16>(body.constData() + 3);
        request->data = body.mid(5);
    }
    switch (head) {
    case VelmorBusPacket::CmdRead4:
        return body.size() == 3;
    case VelmorBusPacket::CmdRead:
        return body.size() == 5;
    case VelmorBusPacket::CmdWrite:
        return body.size() >= 5 && request->data.size() == request->size;
    default:
        return false;
    }
}

QString SimVelmorbusCheck::checkAnswer(const Request &request, const QByteArray &answer)
{
    if (answer.size() < MinFrameSize || quint8(answer.at(0)) != DeviceId || !crcFits(answer))
        return QStringLiteral("answer %1 is no frame of device %2").arg(hex(answer)).arg(DeviceId);
    const QByteArray body = answer.mid(1, answer.size() - 1 - CrcSize);
    // Command 1 has no answer form for another status than 0x10, so the packet decoder
    // refuses one: the head byte and addr alone, as other commands answer it.
    if (request.cmd == VelmorBusPacket::CmdRead4 && body.size() == Read4RefusalSize) {
        if (quint8(body.at(0)) != (StatNotHeld | VelmorBusPacket::CmdRead4)
            || qFromLittleEndian<quint16>(body.constData() + 1) != request.addr)
            return QStringLiteral("answer %1 does not fit the request").arg(hex(answer));
        return checkStore(request, StatNotHeld, QByteArray());
    }
    const VelmorBusPacket packet = VelmorBusPacket::fromByteArray(body);
    if (!packet.isValid() || packet.cmd() != request.cmd || packet.addr() != request.addr)
        return QStringLiteral("answer %1 does not fit the request").arg(hex(answer));
    const int stat = packet.stat();
    const QByteArray data = packet.data();
    if (stat != StatOk && stat != StatNotHeld)
        return QStringLiteral("answer %1 has status 0x%2").arg(hex(answer)).arg(stat, 2, 16);
    if (request.cmd != VelmorBusPacket::CmdRead4 && packet.size() != request.size)
        return QStringLiteral("answer %1 does not echo the size").arg(hex(answer));
    const int expectedData = stat != StatOk || request.cmd == VelmorBusPacket::CmdWrite ? 0
                             : request.cmd == VelmorBusPacket::CmdRead4             ? VariableSize
                                                                                    : request.size;
    if (data.size() != expectedData)
        return QStringLiteral("answer %1 carries %2 data bytes").arg(hex(answer)).arg(data.size());
    return checkStore(request, stat, data);
}

QString SimVelmorbusCheck::checkStore(const Request &request, int stat, const QByteArray &data)
{
    const SimVariable *target = variableAt(request.addr);
    const bool sized = request.cmd == VelmorBusPacket::CmdRead4 || request.size == VariableSize;
    if (!target || !sized)
        return QString();
    if (request.cmd != VelmorBusPacket::CmdWrite) {
        if (stat != StatOk)
            return QStringLiteral("a variable read was refused");
        if (data != m_expected.value(request.addr))
            return QStringLiteral("%1 reads %2, not %3").arg(target->name, hex(data), hex(m_expected.value(request.addr)));
        return QString();
    }
    if (stat != (target->rw ? StatOk : StatNotHeld))
        return QStringLiteral("write of %1 answered with status 0x%2").arg(target->name).arg(stat, 2, 16);
    if (target->rw) {
        // An int16 value is written in bytes 0..1 and read in bytes 2..3.
        m_expected.insert(request.addr, target->isInt16() ? QByteArray(2, '\0') + request.data.left(2) : request.data);
    }
    return QString();
}
