#ifndef PTYPEER_H
#define PTYPEER_H

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

// The far end of a serial line: a raw pseudo-terminal whose slave path is given to
// the code under test while the test plays the controller on the master end.
class PtyPeer : public QObject
{
    Q_OBJECT

public:
    explicit PtyPeer(QObject *parent = nullptr);
    ~PtyPeer() override;

    bool isOpen() const;
    QString slavePath() const;

    void write(const QByteArray &bytes);
    // Drops what write() could not hand to the terminal yet: the far end went quiet.
    void discardPendingOutput();
    // Whether write() still holds bytes the terminal has not taken yet.
    bool outputPending() const;
    // Everything received since the last call.
    QByteArray takeReceived();
    QByteArray received() const;
    // Simulates an unplugged adapter: the code under test sees the line fail.
    void closeMaster();
    // The stop bits the code under test set on the line, 0 when they cannot be read. A
    // pseudo-terminal keeps them, while it drops parity and data bits and always runs 8N.
    int stopBits() const;

signals:
    void bytesReceived(const QByteArray &bytes);

private:
    void onReadable();
    void flushOutput();

    int m_masterFd = -1;
    int m_slaveFd = -1;
    QString m_slavePath;
    QByteArray m_received;
    QSocketNotifier *m_notifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QByteArray m_pendingOutput;
};

#endif // PTYPEER_H
