#ifndef PTYDEVICE_H
#define PTYDEVICE_H

#include <QByteArray>
#include <QIODevice>
#include <QString>

class QSocketNotifier;

// The master end of a raw pseudo-terminal as an I/O device. Whoever is to talk to the
// simulator opens the slave end like a serial port, by its path or by a symbolic link.
class PtyDevice : public QIODevice
{
    Q_OBJECT

public:
    explicit PtyDevice(QObject *parent = nullptr);
    ~PtyDevice() override;

    // Makes the pseudo-terminal and opens this device on its master end. With a link
    // path, that path becomes a symbolic link to the slave end; a stale link is replaced.
    bool create(const QString &linkPath = QString());

    QString slavePath() const { return m_slavePath; }

    bool isSequential() const override;
    qint64 bytesAvailable() const override;
    void close() override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    bool makeLink(const QString &linkPath);
    void onReadable();
    bool fail(const QString &message);

    int m_masterFd = -1;
    int m_slaveFd = -1;
    QString m_slavePath;
    QString m_linkPath;
    QByteArray m_received;
    QSocketNotifier *m_notifier = nullptr;
};

#endif // PTYDEVICE_H
