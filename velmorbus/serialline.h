#ifndef SERIALLINE_H
#define SERIALLINE_H

class QSerialPort;

namespace SerialLine {

// Whether the line of an open port is gone (an unplugged adapter, a hung-up terminal).
// Qt also reports read and resource errors when input was flushed between a read
// notification and the read, or the read would block; those leave the line usable.
bool hungUp(const QSerialPort &port);

// Bytes the system holds for the port that Qt has not read yet.
int pendingInputBytes(const QSerialPort &port);

} // namespace SerialLine

#endif // SERIALLINE_H
