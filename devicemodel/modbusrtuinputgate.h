#ifndef MODBUSRTUINPUTGATE_H
#define MODBUSRTUINPUTGATE_H

#include <QObject>
#include <QPointer>

class QSerialPort;

// Stands between the serial port of Qt's Modbus RTU client and the client's reading of
// it. The client appends whatever arrives to a buffer of its own that only its next
// request clears, while no request is open too: a line that babbles between cycles would
// grow it without bound. The gate lets the client read only while a request waits for
// its answer, and then no more than the largest answer; everything else is dropped from
// the line before the client sees it. A hung-up line always reaches the client, which
// reports it. Where the port reads without socket notifiers, the gate does nothing.
class ModbusRtuInputGate : public QObject
{
    Q_OBJECT

public:
    explicit ModbusRtuInputGate(QObject *parent = nullptr);

    // Call after every open of the port: each open makes a new read notifier.
    void attach(QSerialPort *port);
    // A request now waits for its answer.
    void requestSent();
    // No request waits any more.
    void answerSettled();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QSerialPort> m_port;
    bool m_awaiting = false;
    int m_admittedBytes = 0;
};

#endif // MODBUSRTUINPUTGATE_H
