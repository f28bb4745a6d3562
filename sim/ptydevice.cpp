#include "ptydevice.h"

#include "pseudoterminal.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int ReadChunkBytes = 4096;

} // namespace

PtyDevice::PtyDevice(QObject *parent)
    : QIODevice(parent)
{
    m_lineCheck.setInterval(LineCheckMs);
    connect(&m_lineCheck, &QTimer::timeout, this, &PtyDevice::checkLine);
}

PtyDevice::~PtyDevice()
{
    close();
}

bool PtyDevice::create(const QString &linkPath)
{
    int slaveFd = -1;
    if (!PseudoTerminal::open(&m_masterFd, &slaveFd, &m_slavePath))
        return fail(QStringLiteral("cannot create a pseudo-terminal: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    // Only the peer holds the slave end, so that the master end hears when it is closed.
    // The terminal settings stay as long as the master end is open.
    ::close(slaveFd);
    fcntl(m_masterFd, F_SETFL, fcntl(m_masterFd, F_GETFL) | O_NONBLOCK);
    if (!linkPath.isEmpty() && !makeLink(linkPath)) {
        close();
        return false;
    }
    m_readNotifier = new QSocketNotifier(m_masterFd, QSocketNotifier::Read, this);
    m_readNotifier->setEnabled(false);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &PtyDevice::onReadable);
    m_writeNotifier = new QSocketNotifier(m_masterFd, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &PtyDevice::flushPending);
    m_lineCheck.start();
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

qint64 PtyDevice::bytesToWrite() const
{
    return m_pending.size();
}

void PtyDevice::close()
{
    m_lineCheck.stop();
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    m_lineUp = false;
    m_pending.clear();
    // Only our own link goes: another run may have taken the name since.
    if (!m_linkPath.isEmpty() && QFileInfo(m_linkPath).symLinkTarget() == m_slavePath)
        QFile::remove(m_linkPath);
    m_linkPath.clear();
    if (m_masterFd >= 0)
        ::close(m_masterFd);
    m_masterFd = -1;
    if (isOpen())
        QIODevice::close();
}

qint64 PtyDevice::readData(char *data, qint64 maxSize)
{
    const int count = int(qMin<qint64>(maxSize, m_received.size()));
    std::memcpy(data, m_received.constData(), size_t(count));
    m_received.remove(0, count);
    if (m_lineUp && m_received.size() < MaxReceivedBytes)
        m_readNotifier->setEnabled(true);
    return count;
}

qint64 PtyDevice::writeData(const char *data, qint64 size)
{
    if (m_masterFd < 0)
        return -1;
    // Nobody at the far end: lost, as on a cable with nothing plugged in.
    if (!m_lineUp)
        return size;
    if (m_pending.size() + size > MaxPendingBytes) {
        setErrorString(QStringLiteral("the peer has not read the last %1 bytes").arg(m_pending.size()));
        return -1;
    }
    m_pending.append(data, int(size));
    flushPending();
    return size;
}

void PtyDevice::onReadable()
{
    char buffer[ReadChunkBytes];
    const int before = m_received.size();
    bool lost = false;
    // Bounded, so that an endless stream leaves the event loop its turn.
    while (m_received.size() < MaxReceivedBytes) {
        const ssize_t n = ::read(m_masterFd, buffer, size_t(qMin(ReadChunkBytes, MaxReceivedBytes - m_received.size())));
        if (n > 0) {
            m_received.append(buffer, int(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            // EIO once the peer has closed the slave end.
            lost = !(n < 0 && errno == EAGAIN);
            break;
        }
    }
    if (m_received.size() >= MaxReceivedBytes)
        m_readNotifier->setEnabled(false);
    if (m_received.size() > before)
        emit readyRead();
    if (lost)
        lineDown();
}

void PtyDevice::flushPending()
{
    while (m_lineUp && !m_pending.isEmpty()) {
        const ssize_t n = ::write(m_masterFd, m_pending.constData(), size_t(m_pending.size()));
        if (n > 0) {
            m_pending.remove(0, int(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            // The peer has not read: wait until the terminal takes more.
            break;
        } else {
            lineDown();
            return;
        }
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(m_lineUp && !m_pending.isEmpty());
}

void PtyDevice::lineDown()
{
    if (!m_lineUp)
        return;
    m_lineUp = false;
    m_readNotifier->setEnabled(false);
    m_writeNotifier->setEnabled(false);
    discardUnread();
    m_lineCheck.start();
    emit readChannelFinished();
}

void PtyDevice::checkLine()
{
    // Without a peer the master end reports a hang-up, and a read fails at once.
    pollfd line {m_masterFd, POLLIN, 0};
    if (poll(&line, 1, 0) < 0 || (line.revents & (POLLHUP | POLLERR | POLLNVAL)))
        return;
    m_lineCheck.stop();
    m_lineUp = true;
    m_readNotifier->setEnabled(m_received.size() < MaxReceivedBytes);
}

void PtyDevice::discardUnread()
{
    m_pending.clear();
    // The terminal keeps what the peer has not read for whoever opens it next; only a
    // flush of the slave end's input drops it.
    const int slaveFd = ::open(QFile::encodeName(m_slavePath).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slaveFd < 0)
        return;
    tcflush(slaveFd, TCIFLUSH);
    ::close(slaveFd);
}

bool PtyDevice::fail(const QString &message)
{
    setErrorString(message);
    return false;
}
