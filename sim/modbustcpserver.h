#ifndef MODBUSTCPSERVER_H
#define MODBUSTCPSERVER_H

#include "retrytimer.h"

#include <QObject>
#include <QTcpServer>

class ModbusRequestHandler;
class QHostAddress;
class TrafficLogger;

// The simulator's Modbus TCP server. Qt's own server takes in all a client sends and
// answers it in one go, so one client can hold up the others and the process's signals
// for minutes; here every connection is served in bounded turns (ModbusTcpConnection).
// When accepting fails, e.g. because file descriptors have run out, accepting pauses
// and is tried again later.
class ModbusTcpServer : public QObject
{
    Q_OBJECT

public:
    ModbusTcpServer(ModbusRequestHandler *handler, quint8 unitId, TrafficLogger *logger, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port);
    QString errorString() const { return m_server.errorString(); }

private:
    void onNewConnection();
    void onAcceptError();

    ModbusRequestHandler *m_handler;
    quint8 m_unitId;
    TrafficLogger *m_logger;
    QTcpServer m_server;
    RetryTimer m_acceptRetry;
    bool m_acceptFailing = false;
};

#endif // MODBUSTCPSERVER_H
