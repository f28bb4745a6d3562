#ifndef PSEUDOTERMINAL_H
#define PSEUDOTERMINAL_H

#include <QString>

// A raw pseudo-terminal pair: the master end plays the far side of a serial line, the
// slave end is the port a program opens by its path. Both ends are closed on exec, so a
// child process never keeps the line open.
namespace PseudoTerminal {

// False, with errno telling why, when no pair could be made.
bool open(int *masterFd, int *slaveFd, QString *slavePath);

} // namespace PseudoTerminal

#endif // PSEUDOTERMINAL_H
