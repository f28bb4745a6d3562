#include "modbustcpframe.h"

#include <QtEndian>

namespace {

// The length field counts the unit id and the PDU, which holds at least a function code.
constexpr int MinLength = 2;
constexpr int MaxLength = 1 + ModbusTcpFrame::MaxPduSize;
// Bytes before the ones the length field counts: transaction id, protocol id, length.
constexpr int UncountedSize = 6;

} // namespace

ModbusTcpFrame::Parse ModbusTcpFrame::parse(const QByteArray &bytes, ModbusTcpFrame *frame, int *frameSize)
{
    if (bytes.size() < HeaderSize)
        return Incomplete;
    const int length = qFromBigEndian<quint16>(bytes.constData() + 4);
    if (length < MinLength || length > MaxLength)
        return Broken;
    if (bytes.size() < UncountedSize + length)
        return Incomplete;
    frame->transactionId = qFromBigEndian<quint16>(bytes.constData());
    frame->protocolId = qFromBigEndian<quint16>(bytes.constData() + 2);
    frame->unitId = quint8(bytes.at(6));
    frame->pdu = bytes.mid(HeaderSize, length - 1);
    *frameSize = UncountedSize + length;
    return Complete;
}

QByteArray ModbusTcpFrame::withPdu(const QByteArray &answerPdu) const
{
    QByteArray bytes(HeaderSize, '\0');
    qToBigEndian(transactionId, bytes.data());
    qToBigEndian(protocolId, bytes.data() + 2);
    qToBigEndian(quint16(answerPdu.size() + 1), bytes.data() + 4);
    bytes[6] = char(unitId);
    return bytes + answerPdu;
}
