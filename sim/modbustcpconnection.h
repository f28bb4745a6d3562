#ifndef MODBUSTCPCONNECTION_H
#define MODBUSTCPCONNECTION_H

#include "modbusrequesthandler.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class QTcpSocket;
class TrafficLogger;
struct ModbusTcpFrame;

// One client of the simulator's Modbus TCP server. Its requests are served in turns of
// at most RequestsPerTurn, so that the other clients and the process's signals get their
// turn in between, however many requests it sends at once. What it sends waits in a
// bounded buffer, and the kernel holds the rest back from it. While more than
// MaxUnreadBytes of its answers wait to be read, none of its requests is served; a client
// that reads none of them for StallTimeoutMs is dropped. Deletes itself when the
// connection ends.
class ModbusTcpConnection : public QObject
{
    Q_OBJECT

public:
    static constexpr int RequestsPerTurn = 16;
    static constexpr int ReadBufferBytes = 4096;
    // Asked of the kernel for the answers on their way; it doubles the figure.
    static constexpr int SendBufferBytes = 16 * 1024;
    static constexpr int MaxUnreadBytes = 16 * 1024;
    static constexpr int StallTimeoutMs = 5000;

    ModbusTcpConnection(QTcpSocket *socket, ModbusRequestHandler *handler, quint8 unitId, TrafficLogger *logger,
                        QObject *parent = nullptr);

private:
    void scheduleTurn();
    void serveTurn();
    // False when no whole request waits or its answer has to wait.
    bool serveNext();
    void answer(const ModbusTcpFrame &request);
    void send(ModbusRequestHandler::Answer answer, const QByteArray &frame);
    void sendHeldAnswer();
    bool answersPileUp() const;
    void onBytesWritten();
    void onStalled();
    void drop(const QString &reason);

    QTcpSocket *m_socket;
    ModbusRequestHandler *m_handler;
    quint8 m_unitId;
    TrafficLogger *m_logger;
    QString m_peerName;
    bool m_turnScheduled = false;
    // The answer the answer delay holds back, and its frame.
    ModbusRequestHandler::Answer m_heldAnswer;
    QByteArray m_heldFrame;
    QTimer m_delayTimer;
    QTimer m_stallTimer;
};

#endif // MODBUSTCPCONNECTION_H
