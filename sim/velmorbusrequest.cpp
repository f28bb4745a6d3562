#include "velmorbusrequest.h"

#include "velmorbuspacket.h"

#include <QtEndian>

namespace {

// Head byte + addr.
constexpr int AddrBodySize = 3;
// Head byte + addr + size.
constexpr int SizedBodySize = 5;

} // namespace

VelmorbusRequest VelmorbusRequest::fromBody(const QByteArray &body)
{
    VelmorbusRequest request;
    if (body.size() < AddrBodySize)
        return request;
    const quint8 head = quint8(body.at(0));
    if (head & 0xF0)
        return request;
    request.m_cmd = head & 0x0F;
    request.m_addr = qFromLittleEndian<quint16>(body.constData() + 1);

    switch (request.m_cmd) {
    case VelmorBusPacket::CmdRead4:
        request.m_valid = body.size() == AddrBodySize;
        break;
    case VelmorBusPacket::CmdRead:
    case VelmorBusPacket::CmdWrite:
        if (body.size() < SizedBodySize)
            break;
        request.m_size = qFromLittleEndian<quint16>(body.constData() + 3);
        request.m_data = body.mid(SizedBodySize);
        request.m_valid = request.m_cmd == VelmorBusPacket::CmdRead ? request.m_data.isEmpty()
                                                                     : request.m_data.size() == request.m_size;
        break;
    default:
        break;
    }
    if (!request.m_valid)
        return VelmorbusRequest();
    return request;
}

QString VelmorbusRequest::meaning() const
{
    const QString addrText = QStringLiteral("addr=0x%1").arg(m_addr, 4, 16, QLatin1Char('0'));
    switch (m_cmd) {
    case VelmorBusPacket::CmdRead4:
        return QStringLiteral("read4 ") + addrText;
    case VelmorBusPacket::CmdRead:
        return QStringLiteral("read %1 size=%2").arg(addrText).arg(m_size);
    case VelmorBusPacket::CmdWrite:
        return QStringLiteral("write %1 size=%2 data=%3").arg(addrText).arg(m_size)
            .arg(QString::fromLatin1(m_data.toHex()));
    default:
        return QStringLiteral("not a request");
    }
}
