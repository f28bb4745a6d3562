#include "modbusrtulinewatch.h"

#include "serialline.h"

#include <QEvent>
#include <QSocketNotifier>

namespace {

// Server address byte + PDU of at most 253 bytes (function code included) + 2 bytes CRC.
constexpr int LargestAnswerBytes = 1 + 253 + 2;
// A run of errors that began longer ago than this is over: they came far apart.
constexpr int PersistentErrorRunMs = 1000;

} // namespace

ModbusRtuLineWatch::ModbusRtuLineWatch(QObject *parent)
    : QObject(parent)
    , m_failures(PersistentErrorRunMs)
{
}

void ModbusRtuLineWatch::attach(QSerialPort *port)
{
    if (m_port != port) {
        m_port = port;
        connect(port, &QSerialPort::errorOccurred, this, &ModbusRtuLineWatch::onPortError);
        connect(port, &QSerialPort::readyRead, this, [this] { m_failures.clear(); });
    }
    m_failures.clear();
    // The client then takes at most one answer's worth at each read.
    port->setReadBufferSize(LargestAnswerBytes);
    const auto notifiers = port->findChildren<QSocketNotifier *>();
    for (QSocketNotifier *notifier : notifiers) {
        if (notifier->type() == QSocketNotifier::Read)
            notifier->installEventFilter(this);
    }
}

void ModbusRtuLineWatch::requestSent()
{
    m_awaiting = true;
    m_admittedBytes = 0;
}

void ModbusRtuLineWatch::answerSettled()
{
    m_awaiting = false;
}

bool ModbusRtuLineWatch::eventFilter(QObject *watched, QEvent *event)
{
    // A hung-up line always reaches the client, whose failing read reports it.
    if (event->type() != QEvent::SockAct || !m_port || !m_port->isOpen() || SerialLine::hungUp(*m_port))
        return QObject::eventFilter(watched, event);
    if (m_awaiting && m_admittedBytes < LargestAnswerBytes) {
        m_admittedBytes += qMin(SerialLine::pendingInputBytes(*m_port), LargestAnswerBytes);
        return false;
    }
    m_port->clear(QSerialPort::Input);
    return true;
}

void ModbusRtuLineWatch::onPortError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || !m_port || !m_port->isOpen())
        return;
    if (SerialLine::hungUp(*m_port)) {
        emit lost();
        return;
    }
    if (m_failures.count())
        emit lost();
}
