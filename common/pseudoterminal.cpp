#include "pseudoterminal.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>

namespace PseudoTerminal {

bool open(int *masterFd, int *slaveFd, QString *slavePath)
{
    char name[256] = {};
    termios raw {};
    cfmakeraw(&raw);
    if (openpty(masterFd, slaveFd, name, &raw, nullptr) != 0) {
        *masterFd = *slaveFd = -1;
        return false;
    }
    fcntl(*masterFd, F_SETFD, FD_CLOEXEC);
    fcntl(*slaveFd, F_SETFD, FD_CLOEXEC);
    *slavePath = QString::fromLocal8Bit(name);
    return true;
}

} // namespace PseudoTerminal
