#ifndef PLAYEDLINE_H
#define PLAYEDLINE_H

#include <QByteArray>
#include <QString>

#include <atomic>
#include <thread>

// The far end of a serial line, played on the master end of a pseudo-terminal in a thread
// of its own. A pseudo-terminal moves bytes at once, so a subclass waits for the time a
// real line at the given speed would take before its answer's last byte arrives.
class PlayedLine
{
public:
    explicit PlayedLine(int baudRate);
    virtual ~PlayedLine();
    PlayedLine(const PlayedLine &) = delete;
    PlayedLine &operator=(const PlayedLine &) = delete;

    bool isOpen() const;
    QString slavePath() const;

protected:
    // The subclass starts the thread once it is built and stops it before its members go.
    void start();
    void stop();
    // Start bit, 8 data bits, stop bit for each byte.
    qint64 wireNs(int bytes) const;
    // Writes the frame once the deadline has come; false when it did not go out whole.
    bool sendAt(qint64 deadlineNs, const QByteArray &frame);

private:
    // Answers the request at the start of the buffer; returns the bytes it used, 0 to
    // wait for more, 1 to resynchronise on the next byte.
    virtual int answer(const unsigned char *bytes, int size, qint64 receivedNs) = 0;
    void run();

    int m_baudRate;
    int m_masterFd = -1;
    int m_slaveFd = -1;
    QString m_slavePath;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

#endif // PLAYEDLINE_H
