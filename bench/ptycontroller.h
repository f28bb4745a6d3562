#ifndef PTYCONTROLLER_H
#define PTYCONTROLLER_H

#include <QString>

#include <atomic>
#include <thread>

// A Velmorbus controller on the master end of a pseudo-terminal, in a thread of its own.
// It answers every 4-byte read as soon as a real line at the given speed would have
// carried the request in and the answer out: a pseudo-terminal moves bytes at once, so
// the wire time is waited for here, and the master sees the answer's last byte when it
// would on the line.
class PtyController
{
public:
    explicit PtyController(int baudRate);
    ~PtyController();
    PtyController(const PtyController &) = delete;
    PtyController &operator=(const PtyController &) = delete;

    bool isOpen() const;
    QString slavePath() const;
    // Transfer time of one read request (8 bytes) and its answer (12 bytes).
    qint64 wireTimeNs() const;
    int answered() const;

private:
    void run();
    // Answers the request at the start of the buffer; returns the bytes it used.
    int answer(const unsigned char *bytes, int size, qint64 receivedNs);

    int m_masterFd = -1;
    int m_slaveFd = -1;
    QString m_slavePath;
    qint64 m_wireTimeNs = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_answered{0};
    std::thread m_thread;
};

#endif // PTYCONTROLLER_H
