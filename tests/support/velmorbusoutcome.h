#ifndef VELMORBUSOUTCOME_H
#define VELMORBUSOUTCOME_H

#include "velmorbusreply.h"

#include <QByteArray>
#include <QString>

// What came back for one Velmorbus request.
struct VelmorbusOutcome {
    bool finished = false;
    VelmorbusReply::Error error = VelmorbusReply::NoError;
    QString errorString;
    int stat = -1;
    QByteArray data;

    // Waits up to waitMs for the reply to finish, records it and leaves the reply to
    // deleteLater; a null reply is an outcome that never finished.
    static VelmorbusOutcome await(VelmorbusReply *reply, int waitMs);
};

#endif // VELMORBUSOUTCOME_H
