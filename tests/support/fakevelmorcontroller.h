#ifndef FAKEVELMORCONTROLLER_H
#define FAKEVELMORCONTROLLER_H

#include "ptypeer.h"
#include "velmorbuspacket.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <functional>

// A Velmorbus controller played on the master end of a pseudo-terminal: it cuts
// request frames out of the byte stream and answers each through a handler.
class FakeVelmorController : public QObject
{
    Q_OBJECT

public:
    struct Request {
        quint8 id = 0;
        int cmd = 0;
        quint16 addr = 0;
        quint16 size = 0;
        QByteArray data;
        QByteArray frame;
    };
    // Returns the whole response frame to send (empty: stay silent).
    using Handler = std::function<QByteArray(const Request &)>;

    explicit FakeVelmorController(QObject *parent = nullptr);

    QString portName() const;
    void setHandler(Handler handler);
    // Answers later instead of at once; the reply still goes out whole.
    void setAnswerDelayMs(int delayMs);
    QList<Request> requests() const;
    // Forgets the requests and bytes seen so far, so long runs keep no history.
    void clearHistory();
    PtyPeer &peer();

    static QByteArray readAnswer(const Request &request, const QByteArray &data, int stat = VelmorBusPacket::StatOk);
    static QByteArray writeAnswer(const Request &request, int stat = VelmorBusPacket::StatOk);

signals:
    void requestReceived();

private:
    void onBytes(const QByteArray &bytes);
    void answer(const Request &request);

    PtyPeer m_peer;
    QByteArray m_buffer;
    Handler m_handler;
    int m_answerDelayMs = 0;
    QList<Request> m_requests;
};

#endif // FAKEVELMORCONTROLLER_H
