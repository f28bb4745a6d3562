#ifndef MODBUSLINK_H
#define MODBUSLINK_H

#include "devicelink.h"
#include "modbusreplymatch.h"

#include <QModbusDevice>
#include <QModbusPdu>

class ModbusRtuLineWatch;
class QModbusClient;
class QModbusReply;

// Modbus through Qt's RTU or TCP client. It owns what each transport leaves to its user:
// the quiet pause after an RTU answer that may still come late, the wait for a TCP
// connection to be accepted, and the watch on an RTU line that may be gone.
class ModbusLink : public DeviceLink
{
    Q_OBJECT

public:
    enum class Transport {
        Rtu,
        Tcp
    };

    explicit ModbusLink(const ProtocolTraits &protocol, QObject *parent = nullptr);

    bool open(const LinkSettings &settings) override;
    void close() override;
    QString openFailure() const override;
    QString openFailureReason() const override;
    QString addressRefusal(int devId) const override;
    bool isConnecting() const override;
    quint64 read(const VariableLink &variable, int devId) override;
    quint64 readBlock(const QVector<VariableLink> &variables, int devId) override;
    quint64 write(const VariableLink &variable, quint32 pattern, int devId) override;
    quint64 storeConfiguration(int devId) override;
    int pauseAfterFailure(int usualDelayMs) const override;
    void dropPendingRequest() override;

private:
    enum class Purpose {
        Read,
        BlockRead,
        Command
    };

    // What a request asked, to send it again and to check and decode its answer: for
    // reads, the variables it covers.
    struct Sent {
        Purpose purpose;
        ModbusReplyMatch::Request expected;
        QVector<VariableLink> variables;
        QModbusRequest pdu;
        int devId;
    };

    void replaceTcpClient();
    void configureSerial(const LinkSettings &settings);
    quint64 sendRead(const QVector<VariableLink> &variables, Purpose purpose, int devId);
    // Sends the request for the first time; its id, or 0 when it could not be sent.
    quint64 start(const Sent &sent);
    // Puts the request on the wire, the first time or again after a timeout.
    QModbusReply *transmit(const Sent &sent);
    void watch(QModbusReply *reply, quint64 request, const Sent &sent, int retriesLeft);
    void onFinished(QModbusReply *reply, quint64 request, const Sent &sent, int retriesLeft);
    void emitReadOutcome(const QModbusReply &reply, quint64 request, const Sent &sent, const QString &why);
    void traceRequest(int devId, const QModbusPdu &pdu);
    void traceAnswer(const QModbusReply &reply);
    QString failure(const QModbusReply &reply, const ModbusReplyMatch::Request &expected) const;
    void onStateChanged(QModbusDevice::State state);

    Transport m_transport;
    QModbusClient *m_client;
    // RTU only: keeps what no request waits for from the client, and tells a lost line.
    ModbusRtuLineWatch *m_lineWatch = nullptr;
    LinkSettings m_settings;
    QModbusReply *m_pending = nullptr;
    // The last failed request may still be answered, late.
    bool m_lateAnswerPossible = false;
    // The client reached the connected state since the last open().
    bool m_up = false;
    // Set while the link is being closed on purpose, so its state change is not reported.
    bool m_closing = false;
    // The server began to close the connection, and that was reported as its loss.
    bool m_lostWhileClosing = false;
};

#endif // MODBUSLINK_H
