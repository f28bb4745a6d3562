#ifndef MASTERCHECK_H
#define MASTERCHECK_H

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QString>
#include <QVector>

#include <memory>

class ScriptedMaster;
class VelmorbusReply;

// Plays a script of response chunks and line gaps to a Velmorbus master and checks what
// the requester sees. The check is the master's line and clock: it hands the chunks to
// the master and tells it when a wait has passed in silence, on a clock of its own, so
// no run waits for a real line or timer. Needs a QCoreApplication.
//
// Script: byte 0 is the device id of the requests. Then steps of a head byte
// (bit 7: send the next request first, bits 0-3: gap in ms before the chunk),
// a length byte (taken modulo 65) and that many chunk bytes. The requests read the
// clock block and write it, in turn.
class MasterCheck
{
public:
    MasterCheck();
    ~MasterCheck();
    MasterCheck(const MasterCheck &) = delete;
    MasterCheck &operator=(const MasterCheck &) = delete;

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
    void passTime(int ms);
    void feed(const QByteArray &chunk);
    void noteWait();
    QString finishCurrent();
    QString judgeAll() const;
    QString judge(int index) const;
    QString releaseReplies();

    std::unique_ptr<ScriptedMaster> m_master;
    QVector<Exchange> m_exchanges;
    // Everything written to the line in this run: an answer can only be made of it.
    QByteArray m_written;
    qint64 m_nowMs = 0;
    // When the wait the master runs ends in silence; -1 while it runs none.
    qint64 m_waitEndsMs = -1;
};

#endif // MASTERCHECK_H
