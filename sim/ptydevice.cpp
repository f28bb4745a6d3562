#include "ptydevice.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyDevice::PtyDevice(QObject *parent)
    : QIODevice(parent)
{
}

PtyDevice::~PtyDevice()
{
    close();
}

bool PtyDevice::create(const QString &linkPath)
{
    char name[256] = {};
    termios raw {};
    cfmakeraw(&raw);
    if (openpty(&m_masterFd, &m_slaveFd, name, &raw, nullptr) != 0)
        return fail(QStringLiteral("cannot create a pseudo-terminal: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    m_slavePath = QString::fromLocal8Bit(name);
    fcntl(m_masterFd, F_SETFL, fcntl(m_masterFd, F_GETFL) | O_NONBLOCK);
    fcntl(m_masterFd, F_SETFD, FD_CLOEXEC);
    fcntl(m_slaveFd, F_SETFD, FD_CLOEXEC);
    if (!linkPath.isEmpty() && !makeLink(linkPath)) {
        close();
        return false;
    }
    // The slave end stays open here as well, so the master never reads EIO while the
    // peer has its port closed between sessions.
    m_notifier = new QSocketNotifier(m_masterFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyDevice::onReadable);
    return QIODevice::open(QIODevice::ReadWrite | QIODevice::Unbuffered);
}

bool PtyDevice::makeLink(const QString &linkPath)
{
    const QFileInfo existing(linkPath);
    if (existing.isSymLink()) {
        if (!QFile::remove(linkPath))
            return fail(QStringLiteral("cannot replace the old link %1").arg(linkPath));
    } else if (existing.exists()) {
        return fail(QStringLiteral("%1 exists and is not a symbolic link").arg(linkPath));
    }
    if (!QFile::link(m_slavePath, linkPath))
        return fail(QStringLiteral("cannot make the link %1 to %2").arg(linkPath, m_slavePath));
    m_linkPath = linkPath;
    return true;
}

bool PtyDevice::isSequential() const
{
    return true;
}

qint64 PtyDevice::bytesAvailable() const
{
    return m_received.size() + QIODevice::bytesAvailable();
}

void PtyDevice::close()
{
    delete m_notifier;
    m_notifier = nullptr;
    // Only our own link goes: another run may have taken the name since.
    if (!m_linkPath.isEmpty() && QFileInfo(m_linkPath).symLinkTarget() == m_slavePath)
        QFile::remove(m_linkPath);
    m_linkPath.clear();
    if (m_masterFd >= 0)
        ::close(m_masterFd);
    if (m_slaveFd >= 0)
        ::close(m_slaveFd);
    m_masterFd = m_slaveFd = -1;
    if (isOpen())
        QIODevice::close();
}

qint64 PtyDevice::readData(char *data, qint64 maxSize)
{
    const int count = int(qMin<qint64>(maxSize, m_received.size()));
    std::memcpy(data, m_received.constData(), size_t(count));
    m_received.remove(0, count);
    return count;
}

qint64 PtyDevice::writeData(const char *data, qint64 size)
{
    qint64 done = 0;
    while (m_masterFd >= 0 && done < size) {
        const ssize_t n = ::write(m_masterFd, data + done, size_t(size - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return done > 0 ? done : -1;
    }
    return done;
}

void PtyDevice::onReadable()
{
    char buffer[4096];
    const qint64 before = m_received.size();
    for (;;) {
        const ssize_t n = ::read(m_masterFd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        m_received.append(buffer, int(n));
    }
    if (m_received.size() > before)
        emit readyRead();
}

bool PtyDevice::fail(const QString &message)
{
    setErrorString(message);
    return false;
}
