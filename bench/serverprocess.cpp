#include "serverprocess.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

ServerProcess::~ServerProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

bool ServerProcess::start(const QString &program, const QStringList &arguments, quint16 port)
{
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(program, arguments);
    if (!m_process.waitForStarted(5000)) {
        m_errorText = QStringLiteral("%1 did not start: %2").arg(program, m_process.errorString());
        return false;
    }
    if (!waitForPort(port, 10000)) {
        m_errorText = QStringLiteral("%1 does not accept connections on port %2").arg(program).arg(port);
        return false;
    }
    return true;
}

qint64 ServerProcess::pid() const
{
    return m_process.processId();
}

QString ServerProcess::errorText() const
{
    return m_errorText;
}

quint16 ServerProcess::freeTcpPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool ServerProcess::waitForPort(quint16 port, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (m_process.state() == QProcess::NotRunning)
            return false;
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(200))
            return true;
        QThread::msleep(50);
    }
    return false;
}
