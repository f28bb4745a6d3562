#ifndef DEVICELINK_H
#define DEVICELINK_H

#include "linksettings.h"
#include "protocoltraits.h"
#include "variablelink.h"

#include <QObject>
#include <QString>
#include <QVector>

// The line to one controller, whatever its protocol: opens and closes it and carries one
// request at a time. Every request gets an id, and its outcome comes back as a signal
// with that id, so a caller can tell the answer it waits for from a late one.
class DeviceLink : public QObject
{
    Q_OBJECT

public:
    // protocol: an entry of ProtocolTraits::all(), which lives as long as the program.
    explicit DeviceLink(const ProtocolTraits &protocol, QObject *parent = nullptr);

    const ProtocolTraits &protocol() const;

    // False when the port or the connection cannot be opened; openFailure() tells why.
    virtual bool open(const LinkSettings &settings) = 0;
    virtual void close() = 0;
    virtual QString openFailure() const = 0;
    // The system's reason for the last failed open or refused connection.
    virtual QString openFailureReason() const = 0;
    // Why no request may go to this device id; empty when it may.
    virtual QString addressRefusal(int devId) const;
    // A connection under way takes no request yet; ready() or refused() ends the wait.
    virtual bool isConnecting() const;

    // Each returns the request's id, or 0 when the request could not be sent.
    virtual quint64 read(const VariableLink &variable, int devId) = 0;
    // One request for variables that a ReadPlan joined; blockReadFinished tells the outcome.
    virtual quint64 readBlock(const QVector<VariableLink> &variables, int devId);
    virtual quint64 write(const VariableLink &variable, quint32 pattern, int devId) = 0;
    // Only for a protocol that stores configuration.
    virtual quint64 storeConfiguration(int devId) = 0;

    // The pause before the next request after the last failed one.
    virtual int pauseAfterFailure(int usualDelayMs) const;
    // The outcome of the request in flight, whenever it comes, is dropped unreported.
    virtual void dropPendingRequest() = 0;

    // From now on every frame sent and received is told by frameTraced.
    virtual void enableTrace();

signals:
    // An empty failure means success; rawWord is the value read, as its layout gives it.
    void readFinished(quint64 request, quint32 rawWord, const QString &failure);
    // rawWords holds one word per variable, in their order; refused is set when the
    // device answered with an exception.
    void blockReadFinished(quint64 request, const QVector<quint32> &rawWords, const QString &failure, bool refused);
    void commandFinished(quint64 request, const QString &failure);
    // The connection under way was accepted.
    void ready();
    // The connection under way was refused.
    void refused();
    // The line went away while open: an unplugged adapter, a hung-up terminal, a closed connection.
    void lost(const QString &reason);
    void frameTraced(bool sent, const QByteArray &bytes);

protected:
    quint64 nextRequestId();
    bool tracing() const;

private:
    const ProtocolTraits &m_protocol;
    quint64 m_lastRequestId = 0;
    bool m_tracing = false;
};

#endif // DEVICELINK_H
