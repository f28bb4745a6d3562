#ifndef MODBUSTCPSERVER_H
#define MODBUSTCPSERVER_H

#include "retrytimer.h"

#include <QObject>
#include <QTcpServer>

class ModbusRequestHandler;
class QHostAddress;
class QSocketNotifier;
class TrafficLogger;

// The simulator's Modbus TCP server. Qt's own server takes in all a client sends and
// answers it in one go, so one client can hold up the others and the process's signals
// for minutes; here every connection is served in bounded turns (ModbusTcpConnection).
//
// Connections are accepted here, not by QTcpServer: its listening socket keeps the
// first error it met, the would-block that ends every accept loop, and so takes a later
// failure (descriptors run out) for a passing one and accepts again at every turn of the
// event loop. Here a failing accept pauses accepting for a while.
class ModbusTcpServer : public QObject
{
    Q_OBJECT

public:
    ModbusTcpServer(ModbusRequestHandler *handler, quint8 unitId, TrafficLogger *logger, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port);
    QString errorString() const { return m_server.errorString(); }

private:
    void acceptPending();
    void adopt(int descriptor);
    void acceptFailed(int error);
    void resumeAccepting();

    ModbusRequestHandler *m_handler;
    quint8 m_unitId;
    TrafficLogger *m_logger;
    QTcpServer m_server;
    QSocketNotifier *m_acceptNotifier = nullptr;
    RetryTimer m_acceptRetry;
    bool m_acceptFailing = false;
};

#endif // MODBUSTCPSERVER_H
