#ifndef REGISTERPROBE_H
#define REGISTERPROBE_H

#include "scanfind.h"

#include <QObject>
#include <QVector>

#include <memory>

class RegisterProbePrivate;

// Reads raw Modbus registers from a device without a description: the link is given as
// a scan candidate (protocol, address, line settings) and a serial port or TCP peer.
class RegisterProbe : public QObject
{
    Q_OBJECT

public:
    explicit RegisterProbe(QObject *parent = nullptr);
    ~RegisterProbe() override;

    // serialPort for Modbus RTU, tcpHost and tcpPort for Modbus TCP.
    void setLink(const ScanCandidate &device, const QString &serialPort, const QString &tcpHost, int tcpPort);
    void setTimeoutMs(int timeoutMs);
    // Opens the line if needed and reads; the answer comes as read() or failed().
    void read(int firstRegister, int count, bool inputRegisters);
    void close();

signals:
    void registersRead(int firstRegister, const QVector<quint16> &words);
    void failed(const QString &reason);

private:
    std::unique_ptr<RegisterProbePrivate> d;
};

#endif // REGISTERPROBE_H
