#include "serialline.h"

#include <QSerialPort>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/ioctl.h>
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

int pendingInputBytes(const QSerialPort &port)
{
#ifdef Q_OS_UNIX
    int bytes = 0;
    return ioctl(int(port.handle()), FIONREAD, &bytes) == 0 ? bytes : 0;
#else
    Q_UNUSED(port);
    return 0;
#endif
}

} // namespace SerialLine
