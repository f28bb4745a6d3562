#ifndef RECORDINGMODBUSSERVER_H
#define RECORDINGMODBUSSERVER_H

#include <QList>
#include <QModbusPdu>
#include <QModbusTcpServer>
#include <functional>

// Qt's own Modbus TCP server on 127.0.0.1 and a free port, keeping every request PDU
// so a test can check the bytes that reached the peer.
class RecordingModbusServer : public QModbusTcpServer
{
    Q_OBJECT

public:
    // Answers a request instead of the register map when it returns a valid response.
    using Override = std::function<QModbusResponse(const QModbusRequest &)>;

    explicit RecordingModbusServer(QObject *parent = nullptr);

    // Starts listening; false when no port could be had.
    bool listen();
    int port() const;
    QList<QModbusRequest> requests() const;
    void clearRequests();
    void setOverride(Override override);
    void setHoldingRegisters(int address, const QVector<quint16> &values);
    void setInputRegisters(int address, const QVector<quint16> &values);
    quint16 holdingRegister(int address) const;

signals:
    void requestReceived();

protected:
    QModbusResponse processRequest(const QModbusPdu &request) override;

private:
    int m_port = 0;
    QList<QModbusRequest> m_requests;
    Override m_override;
};

#endif // RECORDINGMODBUSSERVER_H
