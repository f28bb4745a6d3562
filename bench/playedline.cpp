#include "playedline.h"

#include "pseudoterminal.h"

#include <cerrno>
#include <ctime>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr int bitsPerByte = 10;
constexpr int pollIntervalMs = 100;

qint64 monotonicNs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void sleepUntil(qint64 deadlineNs)
{
    const timespec deadline {time_t(deadlineNs / 1000000000), long(deadlineNs % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

} // namespace

PlayedLine::PlayedLine(int baudRate)
    : m_baudRate(baudRate)
{
    PseudoTerminal::open(&m_masterFd, &m_slaveFd, &m_slavePath);
}

PlayedLine::~PlayedLine()
{
    stop();
    if (m_masterFd >= 0)
        ::close(m_masterFd);
    if (m_slaveFd >= 0)
        ::close(m_slaveFd);
}

bool PlayedLine::isOpen() const
{
    return m_masterFd >= 0;
}

QString PlayedLine::slavePath() const
{
    return m_slavePath;
}

void PlayedLine::start()
{
    if (isOpen())
        m_thread = std::thread(&PlayedLine::run, this);
}

void PlayedLine::stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

qint64 PlayedLine::wireNs(int bytes) const
{
    return qint64(bytes) * bitsPerByte * 1000000000 / m_baudRate;
}

bool PlayedLine::sendAt(qint64 deadlineNs, const QByteArray &frame)
{
    sleepUntil(deadlineNs);
    return ::write(m_masterFd, frame.constData(), size_t(frame.size())) == frame.size();
}

void PlayedLine::run()
{
    unsigned char buffer[256];
    int size = 0;
    while (!m_stop) {
        pollfd readable {m_masterFd, POLLIN, 0};
        if (poll(&readable, 1, pollIntervalMs) <= 0 || !(readable.revents & POLLIN))
            continue;
        const ssize_t n = ::read(m_masterFd, buffer + size, sizeof buffer - size_t(size));
        const qint64 receivedNs = monotonicNs();
        if (n <= 0)
            continue;
        size += int(n);
        int used;
        while (size > 0 && (used = answer(buffer, size, receivedNs)) > 0) {
            size -= used;
            std::copy(buffer + used, buffer + used + size, buffer);
        }
        if (size == int(sizeof buffer))
            size = 0; // nothing but noise
    }
}
