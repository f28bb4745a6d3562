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
    struct Security {
        // When set, only this user gets in, and only with the password.
        QString user;
        QString password;
        // TLS only, with a certificate for the name localhost from a CA of its own.
        bool tls = false;
    };

    MosquittoBroker();
    explicit MosquittoBroker(const Security &security);
    ~MosquittoBroker();

    // Starts the broker (again on the same port after stop()) and waits until it says it runs.
    bool start();
    // Ends it with SIGTERM; true when it ended in time.
    bool stop();
    int port() const;
    QString address() const;
    QByteArray log();
    // The certificate of the CA that signed the broker's; empty without TLS.
    QString caFile() const;

private:
    QByteArray passwordFile(const QString &user, const QString &password);
    QByteArray certificates();
    bool openssl(const QStringList &arguments);

    QTemporaryDir m_dir;
    QProcess m_process;
    QByteArray m_log;
    QString m_caFile;
    int m_port;
};

#endif // MOSQUITTOBROKER_H
