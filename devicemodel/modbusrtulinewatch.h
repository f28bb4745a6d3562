#ifndef MODBUSRTULINEWATCH_H
#define MODBUSRTULINEWATCH_H

#include "linefailurerun.h"

#include <QObject>
#include <QPointer>
#include <QSerialPort>

// Watches the serial line of Qt's Modbus RTU client for what the client leaves undone.
//
// Input: the client appends whatever arrives to a buffer of its own that only its next
// request clears, while no request is open too, so a line that babbles between cycles
// would grow it without bound. The watch lets the client read only while a request waits
// for its answer, and then no more than the largest answer; everything else is dropped
// from the line before the client sees it. Where the port reads without socket
// notifiers, this part does nothing.
//
// Errors: a line that is gone (an unplugged adapter, a hung-up terminal) makes the client
// report an error at every turn of the event loop, of whatever kind the failed read
// happens to leave in errno, while it stays "connected". The watch judges by the line
// itself, and also takes a line whose reads keep failing in a tight run for lost.
class ModbusRtuLineWatch : public QObject
{
    Q_OBJECT

public:
    explicit ModbusRtuLineWatch(QObject *parent = nullptr);

    // Call after every open of the port: each open makes a new read notifier.
    void attach(QSerialPort *port);
    // A request now waits for its answer.
    void requestSent();
    // No request waits any more.
    void answerSettled();

signals:
    // The line is gone or keeps failing; the client's port is still open.
    void lost();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onPortError(QSerialPort::SerialPortError error);

    QPointer<QSerialPort> m_port;
    bool m_awaiting = false;
    int m_admittedBytes = 0;
    LineFailureRun m_failures;
};

#endif // MODBUSRTULINEWATCH_H
