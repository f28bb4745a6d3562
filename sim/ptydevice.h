#ifndef PTYDEVICE_H
#define PTYDEVICE_H

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QTimer>

class QSocketNotifier;

// The master end of a raw pseudo-terminal as an I/O device. Whoever is to talk to the
// simulator opens the slave end like a serial port, by its path or by a symbolic link.
//
// Like a serial line, it loses what is sent while nobody has the slave end open, and
// when the peer closes it, what the peer has not read goes (readChannelFinished() says
// so). Both directions are bounded: input waits in the terminal once MaxReceivedBytes
// are unread here, and output the peer does not read is refused beyond MaxPendingBytes.
class PtyDevice : public QIODevice
{
    Q_OBJECT

public:
    static constexpr int MaxReceivedBytes = 64 * 1024;
    // Beyond the few KiB the terminal holds itself.
    static constexpr int MaxPendingBytes = 4096;
    // How often a line without a peer, or with a failing read or write, is looked at again.
    static constexpr int LineCheckMs = 20;

    explicit PtyDevice(QObject *parent = nullptr);
    ~PtyDevice() override;

    // Makes the pseudo-terminal and opens this device on its master end. With a link
    // path, that path becomes a symbolic link to the slave end; a stale link is replaced.
    bool create(const QString &linkPath = QString());

    QString slavePath() const { return m_slavePath; }

    bool isSequential() const override;
    qint64 bytesAvailable() const override;
    qint64 bytesToWrite() const override;
    void close() override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    bool makeLink(const QString &linkPath);
    void onReadable();
    void flushPending();
    // The peer closed the slave end, or the line fails: stop reading and writing until
    // checkLine() finds it usable again.
    void lineDown();
    void checkLine();
    void discardUnread();
    bool fail(const QString &message);

    int m_masterFd = -1;
    QString m_slavePath;
    QString m_linkPath;
    bool m_lineUp = false;
    QByteArray m_received;
    QByteArray m_pending;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QTimer m_lineCheck;
};

#endif // PTYDEVICE_H
