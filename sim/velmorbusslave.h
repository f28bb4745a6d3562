#ifndef VELMORBUSSLAVE_H
#define VELMORBUSSLAVE_H

#include "faultinjector.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

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
    // Status of an answer spoiled by the bad-status fault; 0x20 already means "not held".
    static constexpr int StatFault = 0x30;

    VelmorbusSlave(QIODevice *line, quint8 id, VelmorbusResponder *responder, FaultInjector *faults,
                   TrafficLogger *logger, QObject *parent = nullptr);

    void setAnswerDelay(int delayMs) { m_answerDelayMs = delayMs; }

    // Device id + body + CRC-16 low byte first.
    static QByteArray frame(quint8 id, const QByteArray &body);

private:
    void onReadyRead();
    void onFrameEnd();
    // Empty when the frame is to be ignored; why says what was wrong with it.
    QByteArray requestBody(const QByteArray &frame, QString *why) const;
    void answer(const VelmorbusRequest &request);
    QByteArray spoil(FaultInjector::Fault fault, VelmorBusPacket packet) const;
    void send(const QByteArray &frame, const QString &meaning, FaultInjector::Fault fault);

    QIODevice *m_line;
    quint8 m_id;
    VelmorbusResponder *m_responder;
    FaultInjector *m_faults;
    TrafficLogger *m_logger;
    int m_answerDelayMs = 0;
    QByteArray m_buffer;
    QTimer m_frameTimer;
};

#endif // VELMORBUSSLAVE_H
