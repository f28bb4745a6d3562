#include "ptypeer.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyPeer::PtyPeer(QObject *parent)
    : QObject(parent)
{
    char name[256] = {};
    termios raw {};
    cfmakeraw(&raw);
    if (openpty(&m_masterFd, &m_slaveFd, name, &raw, nullptr) != 0) {
        m_masterFd = m_slaveFd = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    fcntl(m_masterFd, F_SETFL, fcntl(m_masterFd, F_GETFL) | O_NONBLOCK);
    // The slave stays open here too, so the master end never reads EIO while the
    // code under test has its port closed between exchanges.
    m_notifier = new QSocketNotifier(m_masterFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyPeer::onReadable);
}

PtyPeer::~PtyPeer()
{
    closeMaster();
    if (m_slaveFd >= 0)
        ::close(m_slaveFd);
}

bool PtyPeer::isOpen() const
{
    return m_masterFd >= 0;
}

QString PtyPeer::slavePath() const
{
    return m_slavePath;
}

void PtyPeer::write(const QByteArray &bytes)
{
    qint64 done = 0;
    while (m_masterFd >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(m_masterFd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return;
    }
}

QByteArray PtyPeer::takeReceived()
{
    QByteArray bytes;
    bytes.swap(m_received);
    return bytes;
}

QByteArray PtyPeer::received() const
{
    return m_received;
}

void PtyPeer::closeMaster()
{
    if (m_masterFd < 0)
        return;
    delete m_notifier;
    m_notifier = nullptr;
    ::close(m_masterFd);
    m_masterFd = -1;
}

void PtyPeer::onReadable()
{
    char buffer[4096];
    QByteArray bytes;
    for (;;) {
        const ssize_t n = ::read(m_masterFd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        bytes.append(buffer, int(n));
    }
    if (bytes.isEmpty())
        return;
    m_received.append(bytes);
    emit bytesReceived(bytes);
}
