#ifndef MODBUSSCANPROBE_H
#define MODBUSSCANPROBE_H

#include "scanplan.h"
#include "scanprobe.h"

#include <QModbusDevice>
#include <QPointer>
#include <QTimer>

class QModbusClient;
class QModbusReply;

// Asks with a read of one holding or input register, over RTU or TCP. A normal answer and
// an exception answer both tell that a device is there.
class ModbusScanProbe : public ScanProbe
{
    Q_OBJECT

public:
    ModbusScanProbe(const ScanPlan &plan, QObject *parent = nullptr);
    ~ModbusScanProbe() override;

    bool open(const ScanCandidate &line, QString *reason) override;
    void close() override;
    void ask(const ScanCandidate &candidate, int probeAddress) override;
    void abandon() override;

private:
    void configureSerial(const ScanCandidate &line);
    void send();
    void onStateChanged(QModbusDevice::State state);
    void onFinished();

    const ScanPlan m_plan;
    QModbusClient *m_client;
    QPointer<QModbusReply> m_reply;
    // The read waiting for a TCP connection to come up, and how long it may wait.
    bool m_waitingForConnection = false;
    QTimer m_connectTimer;
    ScanCandidate m_candidate;
    int m_probeAddress = 0;
    bool m_closing = false;
};

#endif // MODBUSSCANPROBE_H
