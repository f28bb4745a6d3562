#ifndef MODBUSPTYCONTROLLER_H
#define MODBUSPTYCONTROLLER_H

#include <QString>

#include <atomic>
#include <thread>

// A Modbus RTU controller on the master end of a pseudo-terminal, in a thread of its own,
// answering register reads (0x03, 0x04) of any length. A pseudo-terminal moves bytes at
// once, so the line is played here: each answer's last byte reaches the master when it
// would at the given speed, after the request's wire time, 3.5 character times of silence
// that end the request, and the answer's wire time. The silence that ends the answer is
// the master's own inter-frame delay before its next request.
class ModbusPtyController
{
public:
    explicit ModbusPtyController(int baudRate);
    ~ModbusPtyController();
    ModbusPtyController(const ModbusPtyController &) = delete;
    ModbusPtyController &operator=(const ModbusPtyController &) = delete;

    bool isOpen() const;
    QString slavePath() const;

    // The bytes of every request and answer and the frames exchanged since the last reset.
    void resetCounts();
    qint64 bytesExchanged() const { return m_bytes; }
    int framesExchanged() const { return m_frames; }
    // The wire floor of what was exchanged: 10 bits a byte plus 3.5 character times of
    // silence a frame.
    qint64 floorNs() const;

private:
    void run();
    // Answers the request at the start of the buffer; returns the bytes it used.
    int answer(const unsigned char *bytes, int size, qint64 receivedNs);
    qint64 wireNs(int bytes) const;
    qint64 silenceNs() const;

    int m_baudRate;
    int m_masterFd = -1;
    int m_slaveFd = -1;
    QString m_slavePath;
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_bytes{0};
    std::atomic<int> m_frames{0};
    std::thread m_thread;
};

#endif // MODBUSPTYCONTROLLER_H
