#include "ptycontroller.h"

#include "pseudoterminal.h"
#include "velmorbusframe.h"
#include "velmorbuspacket.h"

#include <QtEndian>

#include <cerrno>
#include <ctime>
#include <poll.h>
#include <unistd.h>

namespace {

// Device id + head byte + addr + size + CRC.
constexpr int readRequestBytes = 1 + 1 + 2 + 2 + 2;
// Device id + head byte + addr + size + 4 data bytes + CRC.
constexpr int readAnswerBytes = 1 + 1 + 2 + 2 + 4 + 2;
// Start bit, 8 data bits, stop bit.
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

PtyController::PtyController(int baudRate)
    : m_wireTimeNs(qint64(readRequestBytes + readAnswerBytes) * bitsPerByte * 1000000000 / baudRate)
{
    if (!PseudoTerminal::open(&m_masterFd, &m_slaveFd, &m_slavePath))
        return;
    m_thread = std::thread(&PtyController::run, this);
}

PtyController::~PtyController()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_masterFd >= 0)
        ::close(m_masterFd);
    if (m_slaveFd >= 0)
        ::close(m_slaveFd);
}

bool PtyController::isOpen() const
{
    return m_masterFd >= 0;
}

QString PtyController::slavePath() const
{
    return m_slavePath;
}

qint64 PtyController::wireTimeNs() const
{
    return m_wireTimeNs;
}

int PtyController::answered() const
{
    return m_answered;
}

void PtyController::run()
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

int PtyController::answer(const unsigned char *bytes, int size, qint64 receivedNs)
{
    if (size < readRequestBytes)
        return 0;
    const QByteArray request(reinterpret_cast<const char *>(bytes), readRequestBytes);
    const bool isRead = bytes[1] == VelmorBusPacket::CmdRead && qFromLittleEndian<quint16>(bytes + 4) == 4
                        && VelmorbusFrame::crcMatches(request);
    if (!isRead)
        return 1; // resynchronise on the next byte

    QByteArray body;
    body.append(char(VelmorBusPacket::StatOk | VelmorBusPacket::CmdRead));
    body.append(reinterpret_cast<const char *>(bytes + 2), 4); // addr and size echoed
    const qint32 value = qint32(m_answered.load()) * 7919;
    char data[4];
    qToLittleEndian(value, data);
    body.append(data, 4);
    const QByteArray frame = VelmorbusFrame::build(quint8(bytes[0]), body);

    sleepUntil(receivedNs + m_wireTimeNs);
    if (::write(m_masterFd, frame.constData(), size_t(frame.size())) == frame.size())
        ++m_answered;
    return readRequestBytes;
}
