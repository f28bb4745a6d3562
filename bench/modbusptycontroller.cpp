#include "modbusptycontroller.h"

#include "pseudoterminal.h"
#include "velmorbuspacket.h"

#include <QByteArray>
#include <QtEndian>

#include <cerrno>
#include <ctime>
#include <poll.h>
#include <unistd.h>

namespace {

// Unit id + function + address + count + CRC.
constexpr int readRequestBytes = 1 + 1 + 2 + 2 + 2;
// Unit id + function + byte count + CRC, before the registers.
constexpr int answerOverheadBytes = 1 + 1 + 1 + 2;
constexpr int maxReadCount = 125;
// Start bit, 8 data bits, stop bit.
constexpr int bitsPerByte = 10;
// Tenths of a character of silence that end a frame.
constexpr int silenceTenths = 35;
constexpr int pollIntervalMs = 100;
constexpr int crcSize = 2;

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

bool crcMatches(const unsigned char *bytes, int size)
{
    const QByteArray covered(reinterpret_cast<const char *>(bytes), size - crcSize);
    return VelmorBusPacket::crc16(covered) == qFromLittleEndian<quint16>(bytes + size - crcSize);
}

} // namespace

ModbusPtyController::ModbusPtyController(int baudRate)
    : m_baudRate(baudRate)
{
    if (!PseudoTerminal::open(&m_masterFd, &m_slaveFd, &m_slavePath))
        return;
    m_thread = std::thread(&ModbusPtyController::run, this);
}

ModbusPtyController::~ModbusPtyController()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_masterFd >= 0)
        ::close(m_masterFd);
    if (m_slaveFd >= 0)
        ::close(m_slaveFd);
}

bool ModbusPtyController::isOpen() const
{
    return m_masterFd >= 0;
}

QString ModbusPtyController::slavePath() const
{
    return m_slavePath;
}

void ModbusPtyController::resetCounts()
{
    m_bytes = 0;
    m_frames = 0;
}

qint64 ModbusPtyController::wireNs(int bytes) const
{
    return qint64(bytes) * bitsPerByte * 1000000000 / m_baudRate;
}

qint64 ModbusPtyController::silenceNs() const
{
    return qint64(silenceTenths) * bitsPerByte * 100000000 / m_baudRate;
}

qint64 ModbusPtyController::floorNs() const
{
    return wireNs(int(m_bytes)) + m_frames * silenceNs();
}

void ModbusPtyController::run()
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

int ModbusPtyController::answer(const unsigned char *bytes, int size, qint64 receivedNs)
{
    if (size < readRequestBytes)
        return 0;
    const quint8 function = bytes[1];
    const quint16 addr = qFromBigEndian<quint16>(bytes + 2);
    const quint16 count = qFromBigEndian<quint16>(bytes + 4);
    const bool isRead = (function == 0x03 || function == 0x04) && count >= 1 && count <= maxReadCount
                        && crcMatches(bytes, readRequestBytes);
    if (!isRead)
        return 1; // resynchronise on the next byte

    QByteArray frame;
    frame.append(char(bytes[0]));
    frame.append(char(function));
    frame.append(char(count * 2));
    for (int i = 0; i < count; ++i) {
        char value[2];
        qToBigEndian(quint16((addr + i) * 7919), value);
        frame.append(value, 2);
    }
    char crc[crcSize];
    qToLittleEndian(VelmorBusPacket::crc16(frame), crc);
    frame.append(crc, crcSize);

    sleepUntil(receivedNs + wireNs(readRequestBytes) + silenceNs() + wireNs(frame.size()));
    if (::write(m_masterFd, frame.constData(), size_t(frame.size())) == frame.size()) {
        m_bytes += readRequestBytes + frame.size();
        m_frames += 2;
    }
    return readRequestBytes;
}
