#ifndef MODBUSTCPFRAME_H
#define MODBUSTCPFRAME_H

#include <QByteArray>

// One Modbus TCP frame: the MBAP header (transaction id, protocol id, byte count of
// what follows, unit id; big-endian) and the PDU (function code and data).
struct ModbusTcpFrame
{
    // Transaction id + protocol id + length + unit id.
    static constexpr int HeaderSize = 7;
    // Function code + at most 252 data bytes.
    static constexpr int MaxPduSize = 253;
    static constexpr int MaxSize = HeaderSize + MaxPduSize;

    enum Parse {
        Incomplete,
        Complete,
        // The length field cannot belong to a frame: the stream has no frame boundary left.
        Broken
    };

    // Reads the frame at the front of bytes; frameSize is how many bytes it takes.
    static Parse parse(const QByteArray &bytes, ModbusTcpFrame *frame, int *frameSize);
    // A frame with this frame's header fields that carries the given PDU.
    QByteArray withPdu(const QByteArray &answerPdu) const;

    quint16 transactionId = 0;
    quint16 protocolId = 0;
    quint8 unitId = 0;
    QByteArray pdu;
};

#endif // MODBUSTCPFRAME_H
