#ifndef MASTERCHECK_H
#define MASTERCHECK_H

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QString>
#include <QVector>

class PtyPeer;
class VelmorbusReply;
class VelmorbusRtuSerialMaster;

// Plays a script of response chunks and line gaps to a Velmorbus master over a
// pseudo-terminal and checks what the requester sees. Needs a QCoreApplication.
//
// Script: byte 0 is the device id of the requests. Then steps of a head byte
// (bit 7: send the next request first, bits 0-3: gap in ms before the chunk),
// a length byte (taken modulo 65) and that many chunk bytes.
class MasterCheck
{
public:
    MasterCheck();
    ~MasterCheck();
    MasterCheck(const MasterCheck &) = delete;
    MasterCheck &operator=(const MasterCheck &) = delete;

    // Empty when the line could be set up; the reason otherwise.
    QString setupError() const;
    QString run(const QByteArray &script);

private:
    struct Step {
        bool newRequest = false;
        int gapMs = 0;
        QByteArray chunk;
    };
    struct Exchange {
        QPointer<VelmorbusReply> reply;
        int finishedCount = 0;
    };

    static QList<Step> parseScript(const QByteArray &script);
    QString startRequest(quint8 id);
    QString awaitCurrent();
    QString judgeAll();
    QString judge(const Exchange &exchange) const;
    QString releaseReplies();

    PtyPeer *m_peer;
    VelmorbusRtuSerialMaster *m_master;
    QString m_setupError;
    QVector<Exchange> m_exchanges;
    // Everything written to the line in this run: an answer can only be made of it.
    QByteArray m_written;
};

#endif // MASTERCHECK_H
