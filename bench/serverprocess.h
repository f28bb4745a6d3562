#ifndef SERVERPROCESS_H
#define SERVERPROCESS_H

#include <QProcess>
#include <QString>
#include <QStringList>

// A server program run beside the benchmark as a separate process, so that the client
// being measured does not share its event loop; stopped when this object goes.
class ServerProcess
{
public:
    ~ServerProcess();

    // Starts the program with its output discarded and waits until it accepts TCP
    // connections on 127.0.0.1:port.
    bool start(const QString &program, const QStringList &arguments, quint16 port);
    qint64 pid() const;
    QString errorText() const;

    // A port that was free a moment ago; the server binds it soon after.
    static quint16 freeTcpPort();

private:
    bool waitForPort(quint16 port, int timeoutMs);

    QProcess m_process;
    QString m_errorText;
};

#endif // SERVERPROCESS_H
