#ifndef CLOCKCONTROLLER_H
#define CLOCKCONTROLLER_H

#include "ptypeer.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

// A controller played on the far end of a pseudo-terminal: it collects each whole
// Velmorbus request frame and answers it with the bytes it was told to send, or reads
// with its own clock.
class ClockController : public QObject
{
    Q_OBJECT

public:
    explicit ClockController(QObject *parent = nullptr);

    bool isOpen() const;
    QString portPath() const;

    // Sent after every request from now on, reads included; empty keeps the controller silent.
    void setAnswer(const QByteArray &answer);
    // Reads are answered with this instead from now on; empty keeps them unanswered.
    void setReadAnswer(const QByteArray &answer);
    // Reads are answered with the controller's own clock from now on, which runs
    // offsetMs ahead of the computer's (behind it when negative).
    void runClock(qint64 offsetMs);
    QList<QByteArray> requests() const;

private:
    void onBytesReceived(const QByteArray &bytes);
    int pendingFrameSize() const;
    QByteArray answerTo(const QByteArray &request) const;
    QByteArray clockAnswer(quint8 id) const;

    PtyPeer m_peer;
    QByteArray m_pending;
    QByteArray m_answer;
    std::optional<QByteArray> m_readAnswer;
    std::optional<qint64> m_clockOffsetMs;
    QList<QByteArray> m_requests;
};

#endif // CLOCKCONTROLLER_H
