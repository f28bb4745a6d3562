#ifndef PTYCONTROLLER_H
#define PTYCONTROLLER_H

#include "playedline.h"

#include <atomic>

// A Velmorbus controller on a played line. It answers every 4-byte read as soon as a
// real line at the given speed would have carried the request in and the answer out.
class PtyController : public PlayedLine
{
public:
    explicit PtyController(int baudRate);
    ~PtyController() override;

    // Transfer time of one read request (8 bytes) and its answer (12 bytes).
    qint64 wireTimeNs() const;
    int answered() const;

private:
    int answer(const unsigned char *bytes, int size, qint64 receivedNs) override;

    std::atomic<int> m_answered{0};
};

#endif // PTYCONTROLLER_H
