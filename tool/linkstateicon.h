#ifndef LINKSTATEICON_H
#define LINKSTATEICON_H

#include "linkreconnect.h"

#include <QIcon>

// A device's icon in the list: the controller, with a badge while its link is lost
// (red) or being tried again (amber).
namespace LinkStateIcon {

QIcon of(LinkReconnect::State state);

} // namespace LinkStateIcon

#endif // LINKSTATEICON_H
