#ifndef VELMORBUSRTUSERIALMASTER_H
#define VELMORBUSRTUSERIALMASTER_H

#include "linefailurerun.h"
#include "velmorbuspacket.h"
#include "velmorbusreply.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QSerialPort>
#include <QTimer>

// Master side of Velmorbus on one serial port: one request in flight at a time,
// the end of a response recognised by line silence.
class VelmorbusRtuSerialMaster : public QObject
{
    Q_OBJECT

public:
    // The first byte of a response must come within this wait after the request.
    static constexpr int DefaultResponseTimeoutMs = 200;

    explicit VelmorbusRtuSerialMaster(QObject *parent = nullptr);
    ~VelmorbusRtuSerialMaster() override;

    bool open();
    void close();

    // Null while a request is in flight.
    VelmorbusReply *sendRequest(const VelmorBusPacket &request, quint8 id);

    QString portName() const;
    // The system's word on the port's last failure ("Permission denied").
    QString portErrorString() const;
    void setPortName(const QString &name);
    int baudRate() const;
    void setBaudRate(int baudRate);
    QSerialPort::DataBits dataBits() const;
    void setDataBits(QSerialPort::DataBits dataBits);
    QSerialPort::Parity parity() const;
    void setParity(QSerialPort::Parity parity);
    QSerialPort::StopBits stopBits() const;
    void setStopBits(QSerialPort::StopBits stopBits);

    int responseTimeout() const;
    void setResponseTimeout(int timeoutMs);
    int interFrameDelay() const;
    void setInterFrameDelay(int delayMs);

signals:
    // ResourceError or ReadError: the line is gone and the master has closed the port.
    void errorOccurred(QSerialPort::SerialPortError error);
    // Whole frames as written and as received (device id to CRC), for a traffic trace.
    void frameSent(const QByteArray &frame);
    void frameReceived(const QByteArray &frame);

protected:
    // An exchange is driven by two events: bytes from the line, and silence on it for as
    // long as the master waits (the response timeout, then the inter-frame delay). The port
    // and the timer deliver them; a subclass that plays the line and the clock itself calls
    // them, and learns from silenceWaitMs() when the silence would end the wait.
    void receive(const QByteArray &bytes);
    void silenceElapsed();
    // The wait the timer was last started with, in milliseconds; -1 while it runs none.
    int silenceWaitMs() const;

private slots:
    void onTimeout();

private:
    void onReadyRead();
    void onPortError(QSerialPort::SerialPortError error);
    void pauseLine();
    void reopenLiveLine();
    void settleWithBody(const QByteArray &body);
    void settleCurrentReply(VelmorbusReply::Error error, const QString &errorText);
    void finishExchange();

    QByteArray m_receiveBuffer;
    QSerialPort *m_serialPort;
    // Not owned; guarded so that a reply deleted in flight leaves no dangling pointer.
    QPointer<VelmorbusReply> m_currentReply;
    QTimer m_timer;
    int m_responseTimeoutMs = DefaultResponseTimeoutMs;
    int m_interFrameDelayMs = 20;
    // The command and address of the request in flight, which its response must echo.
    int m_requestCmd = 0;
    quint16 m_requestAddr = 0;
    // Errors of a live line since bytes last came, and reopens since then: the pause
    // before the next reopen grows with them.
    LineFailureRun m_lineFailures;
    int m_reopensInRow = 0;
    QTimer m_reopenTimer;
};

#endif // VELMORBUSRTUSERIALMASTER_H
