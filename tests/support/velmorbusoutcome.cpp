#include "velmorbusoutcome.h"

#include <QSignalSpy>

VelmorbusOutcome VelmorbusOutcome::await(VelmorbusReply *reply, int waitMs)
{
    VelmorbusOutcome outcome;
    if (!reply)
        return outcome;
    QSignalSpy finished(reply, &VelmorbusReply::finished);
    outcome.finished = reply->isFinished() || finished.wait(waitMs);
    outcome.error = reply->error();
    outcome.errorString = reply->errorString();
    outcome.stat = reply->result().stat();
    outcome.data = reply->result().data();
    reply->deleteLater();
    return outcome;
}
