#include "modbusrtuinputgate.h"

#include "serialline.h"

#include <QEvent>
#include <QSerialPort>
#include <QSocketNotifier>

namespace {

// Server address byte + PDU of at most 253 bytes (function code included) + 2 bytes CRC.
constexpr int LargestAnswerBytes = 1 + 253 + 2;

} // namespace

ModbusRtuInputGate::ModbusRtuInputGate(QObject *parent)
    : QObject(parent)
{
}

void ModbusRtuInputGate::attach(QSerialPort *port)
{
    m_port = port;
    // The client then takes at most one answer's worth at each read.
    port->setReadBufferSize(LargestAnswerBytes);
    const auto notifiers = port->findChildren<QSocketNotifier *>();
    for (QSocketNotifier *notifier : notifiers) {
        if (notifier->type() == QSocketNotifier::Read)
            notifier->installEventFilter(this);
    }
}

void ModbusRtuInputGate::requestSent()
{
    m_awaiting = true;
    m_admittedBytes = 0;
}

void ModbusRtuInputGate::answerSettled()
{
    m_awaiting = false;
}

bool ModbusRtuInputGate::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::SockAct || !m_port || !m_port->isOpen() || SerialLine::hungUp(*m_port))
        return QObject::eventFilter(watched, event);
    if (m_awaiting && m_admittedBytes < LargestAnswerBytes) {
        m_admittedBytes += qMin(SerialLine::pendingInputBytes(*m_port), LargestAnswerBytes);
        return false;
    }
    m_port->clear(QSerialPort::Input);
    return true;
}
