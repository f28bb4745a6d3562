#ifndef CLOCKCONTROLLER_H
#define CLOCKCONTROLLER_H

#include "ptypeer.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

// A controller played on the far end of a pseudo-terminal: it collects each whole
// Velmorbus request frame and answers it with the bytes it was told to send.
class ClockController : public QObject
{
    Q_OBJECT

public:
    explicit ClockController(QObject *parent = nullptr);

    bool isOpen() const;
    QString portPath() const;

    // Sent after every request from now on; empty keeps the controller silent.
    void setAnswer(const QByteArray &answer);
    QList<QByteArray> requests() const;

private:
    void onBytesReceived(const QByteArray &bytes);
    int pendingFrameSize() const;

    PtyPeer m_peer;
    QByteArray m_pending;
    QByteArray m_answer;
    QList<QByteArray> m_requests;
};

#endif // CLOCKCONTROLLER_H
