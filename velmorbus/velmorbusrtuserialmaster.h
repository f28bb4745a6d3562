#ifndef VELMORBUSRTUSERIALMASTER_H
#define VELMORBUSRTUSERIALMASTER_H

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
    explicit VelmorbusRtuSerialMaster(QObject *parent = nullptr);
    ~VelmorbusRtuSerialMaster() override;

    bool open();
    void close();

    // Null while a request is in flight.
    VelmorbusReply *sendRequest(const VelmorBusPacket &request, quint8 id);

    QString portName() const;
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

private slots:
    void onTimeout();

private:
    void onReadyRead();
    void onPortError(QSerialPort::SerialPortError error);
    void reopenLiveLine();
    void settleWithBody(const QByteArray &body);
    void settleCurrentReply(VelmorbusReply::Error error, const QString &errorText);
    void finishExchange();

    QByteArray m_receiveBuffer;
    QSerialPort *m_serialPort;
    // Not owned; guarded so that a reply deleted in flight leaves no dangling pointer.
    QPointer<VelmorbusReply> m_currentReply;
    QTimer m_timer;
    int m_responseTimeoutMs = 200;
    int m_interFrameDelayMs = 20;
};

#endif // VELMORBUSRTUSERIALMASTER_H
