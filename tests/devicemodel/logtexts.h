#ifndef LOGTEXTS_H
#define LOGTEXTS_H

#include "logcapture.h"

#include <QStringList>

// The texts captured at one level, in the order they were logged.
QStringList logTexts(const LogCapture &log, QtMsgType type);

#endif // LOGTEXTS_H
