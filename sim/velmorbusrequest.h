#ifndef VELMORBUSREQUEST_H
#define VELMORBUSREQUEST_H

#include <QByteArray>
#include <QString>

// A Velmorbus request body as a controller receives it: the frame without the device
// id and the CRC. The packet class of the protocol decodes response bodies only.
class VelmorbusRequest
{
public:
    // Invalid unless the body is a request (status nibble 0) of command 1 (addr),
    // 2 (addr, size) or 4 (addr, size, exactly size data bytes).
    static VelmorbusRequest fromBody(const QByteArray &body);

    bool isValid() const { return m_valid; }
    int cmd() const { return m_cmd; }
    quint16 addr() const { return m_addr; }
    quint16 size() const { return m_size; }
    QByteArray data() const { return m_data; }

    // For the traffic log, e.g. "read addr=0x0c02 size=8".
    QString meaning() const;

private:
    bool m_valid = false;
    int m_cmd = 0;
    quint16 m_addr = 0;
    quint16 m_size = 0;
    QByteArray m_data;
};

#endif // VELMORBUSREQUEST_H
