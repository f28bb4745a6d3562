#ifndef MOSQUITTOBROKER_H
#define MOSQUITTOBROKER_H

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A mosquitto broker on a free local port. Mosquitto 2 takes clients without a user
// name only when its configuration says so, hence a configuration file of its own.
class MosquittoBroker
{
public:
    MosquittoBroker();
    ~MosquittoBroker();

    // Starts the broker (again on the same port after stop()) and waits until it says it runs.
    bool start();
    // Ends it with SIGTERM; true when it ended in time.
    bool stop();
    int port() const;
    QString address() const;
    QByteArray log();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QByteArray m_log;
    int m_port;
};

#endif // MOSQUITTOBROKER_H
