#ifndef PROMETHEUSSERVER_H
#define PROMETHEUSSERVER_H

#include <QJsonArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A Prometheus server on a free local port that scrapes the targets given every
// second, with its storage in a temporary folder.
class PrometheusServer
{
public:
    PrometheusServer();
    ~PrometheusServer();

    // Starts the server; ready() tells when it answers.
    bool start(const QStringList &targets);
    bool ready();
    // The result vector of an instant query through the HTTP API; empty when the query failed.
    QJsonArray query(const QString &expression);
    QByteArray log();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port;
};

#endif // PROMETHEUSSERVER_H
