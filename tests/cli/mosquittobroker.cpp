#include "mosquittobroker.h"

#include "simprocess.h"

#include <QElapsedTimer>
#include <QFile>

namespace {

// Generous: CI is a loaded 2-core machine.
constexpr int StartTimeoutMs = 15000;

} // namespace

MosquittoBroker::MosquittoBroker()
    : m_port(SimProcess::freePort())
{
    QFile config(m_dir.filePath(QStringLiteral("mosquitto.conf")));
    if (!config.open(QIODevice::WriteOnly))
        qFatal("Unable to write the broker configuration");
    config.write("listener " + QByteArray::number(m_port) + " 127.0.0.1\n"
                 "allow_anonymous true\n"
                 "persistence false\n"
                 "log_dest stderr\n"
                 "log_type all\n");
    m_process.setProgram(QStringLiteral("mosquitto"));
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setArguments({QStringLiteral("-c"), config.fileName()});
}

MosquittoBroker::~MosquittoBroker()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(StartTimeoutMs);
    }
}

bool MosquittoBroker::start()
{
    m_process.start();
    if (!m_process.waitForStarted(StartTimeoutMs))
        return false;
    QElapsedTimer timer;
    timer.start();
    const QByteArray logged = log();
    const int from = logged.size();
    while (log().indexOf(" running", from) < 0 && m_process.state() == QProcess::Running
           && timer.elapsed() < StartTimeoutMs)
        m_process.waitForReadyRead(100);
    return log().indexOf(" running", from) >= 0;
}

bool MosquittoBroker::stop()
{
    m_process.terminate();
    return m_process.waitForFinished(StartTimeoutMs);
}

int MosquittoBroker::port() const
{
    return m_port;
}

QString MosquittoBroker::address() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

QByteArray MosquittoBroker::log()
{
    m_log += m_process.readAllStandardOutput();
    return m_log;
}
