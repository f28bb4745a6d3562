#include "ptypeer.h"

#include "pseudoterminal.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

PtyPeer::PtyPeer(QObject *parent)
    : QObject(parent)
{
    if (!PseudoTerminal::open(&m_masterFd, &m_slaveFd, &m_slavePath))
        return;
    fcntl(m_masterFd, F_SETFL, fcntl(m_masterFd, F_GETFL) | O_NONBLOCK);
    // The slave stays open here too, so the master end never reads EIO while the
    // code under test has its port closed between exchanges.
    m_notifier = new QSocketNotifier(m_masterFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyPeer::onReadable);
    m_writeNotifier = new QSocketNotifier(m_masterFd, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &PtyPeer::flushOutput);
}

PtyPeer::~PtyPeer()
{
    closeMaster();
    if (m_slaveFd >= 0)
        ::close(m_slaveFd);
}

int PtyPeer::stopBits() const
{
    termios settings {};
    if (m_slaveFd < 0 || tcgetattr(m_slaveFd, &settings) != 0)
        return 0;
    return (settings.c_cflag & CSTOPB) ? 2 : 1;
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
    m_pendingOutput.append(bytes);
    flushOutput();
}

void PtyPeer::discardPendingOutput()
{
    m_pendingOutput.clear();
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(false);
}

bool PtyPeer::outputPending() const
{
    return !m_pendingOutput.isEmpty();
}

void PtyPeer::flushOutput()
{
    // The terminal buffer holds a few KiB; the rest waits until the other side has read,
    // which needs the event loop, so never wait here.
    while (m_masterFd >= 0 && !m_pendingOutput.isEmpty()) {
        const ssize_t n = ::write(m_masterFd, m_pendingOutput.constData(), size_t(m_pendingOutput.size()));
        if (n > 0) {
            m_pendingOutput.remove(0, int(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            if (n < 0 && errno != EAGAIN)
                m_pendingOutput.clear();
            break;
        }
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(!m_pendingOutput.isEmpty());
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
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    m_pendingOutput.clear();
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
