#include "simprocess.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>

#include <csignal>

namespace {

// Generous: CI is a loaded 2-core machine.
constexpr int StartTimeoutMs = 15000;

} // namespace

SimProcess::SimProcess()
{
    m_process.setProgram(QStringLiteral(VELMOR_SIM_PATH));
}

SimProcess::~SimProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(StartTimeoutMs);
    }
}

bool SimProcess::start(const QStringList &arguments)
{
    m_process.setArguments(arguments);
    m_process.start();
    if (!m_process.waitForStarted(StartTimeoutMs))
        return false;
    QElapsedTimer timer;
    timer.start();
    while (!hasReadyLine() && m_process.state() == QProcess::Running && timer.elapsed() < StartTimeoutMs)
        m_process.waitForReadyRead(100);
    return hasReadyLine();
}

bool SimProcess::run(const QStringList &arguments)
{
    m_process.setArguments(arguments);
    m_process.start();
    return m_process.waitForFinished(StartTimeoutMs);
}

bool SimProcess::hasReadyLine()
{
    const QByteArray text = output();
    return text.contains("\nlistening on ") || text.contains("\nserving ");
}

QByteArray SimProcess::output()
{
    m_output += m_process.readAllStandardOutput();
    return m_output;
}

QByteArray SimProcess::errorOutput()
{
    return m_process.readAllStandardError();
}

int SimProcess::exitCode() const
{
    return m_process.exitCode();
}

bool SimProcess::isRunning() const
{
    return m_process.state() == QProcess::Running;
}

qint64 SimProcess::processId() const
{
    return m_process.processId();
}

bool SimProcess::stop(int signalNumber)
{
    // A process that has ended has id 0, and kill(0) would signal our whole process group.
    const pid_t pid = pid_t(m_process.processId());
    if (pid <= 0 || ::kill(pid, signalNumber) != 0)
        return false;
    return m_process.waitForFinished(StartTimeoutMs) && m_process.exitStatus() == QProcess::NormalExit;
}

int SimProcess::freePort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    return server.serverPort();
}
