#ifndef MODBUSPTYCONTROLLER_H
#define MODBUSPTYCONTROLLER_H

#include "playedline.h"

#include <atomic>

// A Modbus RTU controller on a played line, answering register reads (0x03, 0x04) of any
// length. Each answer's last byte reaches the master when it would at the given speed,
// after the request's wire time, 3.5 character times of silence that end the request,
// and the answer's wire time. The silence that ends the answer is the master's own
// inter-frame delay before its next request.
class ModbusPtyController : public PlayedLine
{
public:
    explicit ModbusPtyController(int baudRate);
    ~ModbusPtyController() override;

    // The bytes of every request and answer and the frames exchanged since the last reset.
    void resetCounts();
    qint64 bytesExchanged() const { return m_bytes; }
    int framesExchanged() const { return m_frames; }
    // The wire floor of what was exchanged: 10 bits a byte plus 3.5 character times of
    // silence a frame.
    qint64 floorNs() const;

private:
    int answer(const unsigned char *bytes, int size, qint64 receivedNs) override;
    qint64 silenceNs() const;

    std::atomic<qint64> m_bytes{0};
    std::atomic<int> m_frames{0};
};

#endif // MODBUSPTYCONTROLLER_H
