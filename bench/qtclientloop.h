#ifndef QTCLIENTLOOP_H
#define QTCLIENTLOOP_H

#include "descriptionwriter.h"

#include <QModbusTcpClient>
#include <QObject>
#include <QVector>

class QEventLoop;

// The least a Qt program can do to poll the variables: one QModbusTcpClient that sends
// the next read from the finished handler of the previous one, with no model around it.
class QtClientLoop : public QObject
{
    Q_OBJECT

public:
    explicit QtClientLoop(const QVector<DescriptionWriter::Variable> &variables, QObject *parent = nullptr);

    bool connectTo(quint16 port);
    // Reads every variable once; returns the elapsed nanoseconds, or -1 on a failed read.
    qint64 runPass();

private:
    void sendNext();
    void onFinished();
    void stop();

    QModbusTcpClient m_client;
    QVector<DescriptionWriter::Variable> m_variables;
    int m_next = 0;
    bool m_failed = false;
    quint32 m_checksum = 0; // keeps the decoded values alive
    QEventLoop *m_loop = nullptr;
};

#endif // QTCLIENTLOOP_H
