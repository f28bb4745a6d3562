#ifndef VELMORBUSREPLY_H
#define VELMORBUSREPLY_H

#include "velmorbuspacket.h"

#include <QObject>
#include <QString>

// Outcome of one Velmorbus request. Created by the master as its child;
// the requester deletes it (deleteLater) in its handler of finished().
class VelmorbusReply : public QObject
{
    Q_OBJECT

public:
    enum Error {
        NoError = 0,
        TimeoutError = 1,
        IdError = 2,
        FrameError = 3,
        ParseError = 4,
        // A well-formed response whose command or address is not the request's.
        MismatchError = 5
    };
    Q_ENUM(Error)

    explicit VelmorbusReply(quint8 id, QObject *parent = nullptr);

    quint8 id() const;
    bool isFinished() const;
    VelmorBusPacket result() const;
    Error error() const;
    QString errorString() const;

    void setResult(const VelmorBusPacket &result);
    void setFinished(bool finished);
    void setError(Error error, const QString &errorText);

signals:
    void finished();

private:
    quint8 m_id;
    bool m_finished = false;
    VelmorBusPacket m_result;
    Error m_error = NoError;
    QString m_errorText;
};

#endif // VELMORBUSREPLY_H
