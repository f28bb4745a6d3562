#include "serialline.h"

#include <QSerialPort>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

namespace SerialLine {

bool hungUp(const QSerialPort &port)
{
#ifdef Q_OS_UNIX
    pollfd line {int(port.handle()), POLLIN, 0};
    return poll(&line, 1, 0) > 0 && (line.revents & (POLLHUP | POLLERR | POLLNVAL));
#else
    return port.isOpen();
#endif
}

} // namespace SerialLine
