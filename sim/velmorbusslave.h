#ifndef VELMORBUSSLAVE_H
#define VELMORBUSSLAVE_H

#include "faultinjector.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class QIODevice;
class TrafficLogger;
class VelmorBusPacket;
class VelmorbusRequest;
class VelmorbusResponder;

// Slave side of Velmorbus on one serial line: gathers a request until the line has
// been silent for the inter-frame delay, checks its CRC and device id, and answers
// through the responder, spoiled now and then by the fault injector.
class VelmorbusSlave : public QObject
{
    Q_OBJECT

public:
    static constexpr int InterFrameDelayMs = 20;
    // Device id + head byte + addr + size + 65535 data bytes + CRC: the longest request.
    static constexpr int MaxFrameSize = 1 + 1 + 2 + 2 + 65535 + 2;
    // What the log shows of a frame dropped for its length.
    static constexpr int LoggedHeadSize = 16;
    // Answers the line has not sent yet, beyond which an answer is not sent.
    static constexpr int MaxUnsentBytes = 4096;
    // Status of an answer spoiled by the bad-status fault; 0x20 already means "not held".
    static constexpr int StatFault = 0x30;

    // What goes back for one frame.
    struct Answer
    {
        // False when the frame is ignored: nothing is sent and nothing logged as sent.
        bool answered = false;
        // The bytes to send; empty when the silence fault swallows the answer.
        QByteArray frame;
        QString meaning;
        FaultInjector::Fault fault = FaultInjector::NoFault;
    };

    VelmorbusSlave(QIODevice *line, quint8 id, VelmorbusResponder *responder, FaultInjector *faults,
                   TrafficLogger *logger, QObject *parent = nullptr);
    ~VelmorbusSlave() override;

    void setAnswerDelay(int delayMs) { m_answerDelayMs = delayMs; }

    // Judges one whole frame as the line delivered it, logs it, and works out the answer.
    Answer answerTo(const QByteArray &frame);

private:
    void onReadyRead();
    void onFrameEnd();
    void onPeerGone();
    // Empty when the frame is to be ignored; why says what was wrong with it.
    QByteArray requestBody(const QByteArray &frame, QString *why) const;
    QByteArray spoil(FaultInjector::Fault fault, VelmorBusPacket packet) const;
    void deliver(const Answer &answer);
    void send(Answer answer);

    QIODevice *m_line;
    quint8 m_id;
    VelmorbusResponder *m_responder;
    FaultInjector *m_faults;
    TrafficLogger *m_logger;
    int m_answerDelayMs = 0;
    QByteArray m_buffer;
    // Bytes of a frame dropped for its length, counted until the line falls silent; 0
    // while none is dropped.
    qint64 m_droppedBytes = 0;
    QTimer m_frameTimer;
    // Parent of the timers of answers held by the answer delay, so that they can go
    // unsent together.
    std::unique_ptr<QObject> m_heldAnswers;
};

#endif // VELMORBUSSLAVE_H
