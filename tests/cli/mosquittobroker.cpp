#include "mosquittobroker.h"

#include "simprocess.h"

#include <QElapsedTimer>
#include <QFile>

namespace {

// Generous: CI is a loaded 2-core machine.
constexpr int StartTimeoutMs = 15000;

} // namespace

MosquittoBroker::MosquittoBroker()
    : MosquittoBroker(Security())
{
}

MosquittoBroker::MosquittoBroker(const Security &security)
    : m_port(SimProcess::freePort())
{
    // Run by root, the broker reads its files as the user it drops to.
    const auto readable = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    QFile::setPermissions(m_dir.path(), readable | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
    QFile config(m_dir.filePath(QStringLiteral("mosquitto.conf")));
    if (!config.open(QIODevice::WriteOnly))
        qFatal("Unable to write the broker configuration");
    const QByteArray login = security.user.isEmpty() ? QByteArray("allow_anonymous true\n")
                                                     : passwordFile(security.user, security.password);
    const QByteArray tls = security.tls ? certificates() : QByteArray();
    config.write("listener " + QByteArray::number(m_port) + " 127.0.0.1\n" + login + tls
                 + "persistence false\n"
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

QString MosquittoBroker::caFile() const
{
    return m_caFile;
}

// The configuration lines for a password file of one user.
QByteArray MosquittoBroker::passwordFile(const QString &user, const QString &password)
{
    const QString path = m_dir.filePath(QStringLiteral("passwords"));
    QProcess tool;
    tool.start(QStringLiteral("mosquitto_passwd"), {QStringLiteral("-b"), QStringLiteral("-c"), path, user, password});
    if (!tool.waitForFinished(StartTimeoutMs) || tool.exitCode() != 0)
        qFatal("Unable to write the broker's password file");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return "allow_anonymous false\npassword_file " + path.toUtf8() + '\n';
}

// The configuration lines for TLS: a CA, and a server certificate it signed for localhost.
QByteArray MosquittoBroker::certificates()
{
    m_caFile = m_dir.filePath(QStringLiteral("ca.crt"));
    const QString caKey = m_dir.filePath(QStringLiteral("ca.key"));
    const QString key = m_dir.filePath(QStringLiteral("server.key"));
    const QString request = m_dir.filePath(QStringLiteral("server.csr"));
    const QString certificate = m_dir.filePath(QStringLiteral("server.crt"));
    const QString extensions = m_dir.filePath(QStringLiteral("server.ext"));
    QFile names(extensions);
    if (!names.open(QIODevice::WriteOnly) || names.write("subjectAltName=DNS:localhost\n") <= 0)
        qFatal("Unable to write the certificate extensions");
    names.close();
    const bool made =
        openssl({QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                 QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                 QStringLiteral("/CN=Test CA"), QStringLiteral("-keyout"), caKey, QStringLiteral("-out"), m_caFile})
        && openssl({QStringLiteral("req"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"), QStringLiteral("-nodes"),
                    QStringLiteral("-subj"), QStringLiteral("/CN=localhost"), QStringLiteral("-keyout"), key,
                    QStringLiteral("-out"), request})
        && openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), request, QStringLiteral("-CA"),
                    m_caFile, QStringLiteral("-CAkey"), caKey, QStringLiteral("-CAcreateserial"), QStringLiteral("-days"),
                    QStringLiteral("2"), QStringLiteral("-extfile"), extensions, QStringLiteral("-out"), certificate});
    if (!made)
        qFatal("Unable to make the broker's certificates");
    QFile::setPermissions(key, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return "cafile " + m_caFile.toUtf8() + "\ncertfile " + certificate.toUtf8() + "\nkeyfile " + key.toUtf8() + '\n';
}

bool MosquittoBroker::openssl(const QStringList &arguments)
{
    QProcess tool;
    tool.start(QStringLiteral("openssl"), arguments);
    return tool.waitForFinished(StartTimeoutMs) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}
