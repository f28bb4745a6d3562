#ifndef VELMORBUSPACKET_H
#define VELMORBUSPACKET_H

#include <QByteArray>
#include <QVector>
#include <QtGlobal>

class QDataStream;
class QDebug;

// Body of one Velmorbus request or response: the frame without the leading
// device id byte and without the trailing CRC. A plain copyable value.
class VelmorBusPacket
{
public:
    enum Command {
        CmdRead4 = 1,
        CmdRead = 2,
        CmdWrite = 4
    };

    enum Status {
        StatOk = 0x10
    };

    VelmorBusPacket();
    VelmorBusPacket(int cmd, quint16 addr, quint16 size);

    // Decodes a response body; anything that does not fit gives the default (invalid) packet.
    static VelmorBusPacket fromByteArray(const QByteArray &body);
    QByteArray toByteArray() const;

    int cmd() const { return m_cmd; }
    int stat() const { return m_stat; }
    quint16 addr() const { return m_addr; }
    quint16 size() const { return m_size; }
    QByteArray data() const { return m_data; }
    bool isValid() const { return m_valid; }

    void setStat(int stat) { m_stat = stat; }
    void setData(const QByteArray &data);
    // Writes the value little-endian over the first four data bytes.
    void setData(qint32 value);

    // Empty unless the data length is a multiple of 4; little-endian words otherwise.
    QVector<qint32> dataAsInt32Vector() const;

    // CRC-16/MODBUS: Width = 16, Poly = 0x8005, XorIn = 0xffff, ReflectIn = True,
    // ReflectOut = True, XorOut = 0x0000.
    static quint16 crc16(const QByteArray &bytes);

private:
    int m_cmd = 0;
    int m_stat = 0;
    quint16 m_addr = 0;
    quint16 m_size = 0;
    QByteArray m_data;
    bool m_valid = false;
};

// Writes the body little-endian whatever the stream's byte order, which is restored.
QDataStream &operator<<(QDataStream &stream, const VelmorBusPacket &packet);
QDebug operator<<(QDebug debug, const VelmorBusPacket &packet);

#endif // VELMORBUSPACKET_H
