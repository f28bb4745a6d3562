#include "silentmessages.h"

#include <QtGlobal>

namespace {

void dropMessage(QtMsgType, const QMessageLogContext &, const QString &)
{
}

} // namespace

void silenceMessages()
{
    qInstallMessageHandler(dropMessage);
}
