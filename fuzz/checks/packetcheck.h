#ifndef PACKETCHECK_H
#define PACKETCHECK_H

#include <QByteArray>
#include <QString>

// Decodes arbitrary bytes as a response body, alone and framed as the master frames a
// response. Returns what went wrong, or an empty text when every property held.
class PacketCheck
{
public:
    QString run(const QByteArray &input) const;

private:
    static QString checkBody(const QByteArray &body);
    static QString checkFramed(const QByteArray &body);
};

#endif // PACKETCHECK_H
