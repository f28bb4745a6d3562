#include "logtexts.h"

QStringList logTexts(const LogCapture &log, QtMsgType type)
{
    QStringList texts;
    for (const LogCapture::Message &message : log.messages()) {
        if (message.first == type)
            texts.append(message.second);
    }
    return texts;
}
