#include "clirunner.h"

#include <QSignalSpy>

CliRunner::CliRunner()
{
    qRegisterMetaType<QProcess::ExitStatus>();
    m_process.setProgram(QStringLiteral(VELMOR_CLI_PATH));
}

CliRunner::~CliRunner()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000))
        m_process.kill();
    m_process.waitForFinished(10000);
}

void CliRunner::start(const QStringList &arguments)
{
    m_process.setArguments(arguments);
    m_process.start();
}

void CliRunner::limitFileSize(qint64 bytes)
{
    m_process.setFileSizeLimit(bytes);
}

bool CliRunner::waitForExit(int timeoutMs)
{
    if (m_process.state() == QProcess::NotRunning)
        return true;
    QSignalSpy finished(&m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
    return finished.wait(timeoutMs);
}

bool CliRunner::run(const QStringList &arguments, int timeoutMs)
{
    start(arguments);
    return waitForExit(timeoutMs);
}

int CliRunner::exitCode() const
{
    return m_process.exitCode();
}

QProcess::ExitStatus CliRunner::exitStatus() const
{
    return m_process.exitStatus();
}

QString CliRunner::out()
{
    m_out += m_process.readAllStandardOutput();
    return QString::fromUtf8(m_out);
}

QString CliRunner::err()
{
    m_err += m_process.readAllStandardError();
    return QString::fromUtf8(m_err);
}

QProcess &CliRunner::process()
{
    return m_process;
}
