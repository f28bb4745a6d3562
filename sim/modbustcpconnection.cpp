#include "modbustcpconnection.h"

#include "modbustcpframe.h"
#include "trafficlogger.h"

#include <QHostAddress>
#include <QTcpSocket>

ModbusTcpConnection::ModbusTcpConnection(QTcpSocket *socket, ModbusRequestHandler *handler, quint8 unitId,
                                         TrafficLogger *logger, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_handler(handler)
    , m_unitId(unitId)
    , m_logger(logger)
    , m_peerName(QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort()))
{
    m_socket->setParent(this);
    m_socket->setReadBufferSize(ReadBufferBytes);
    m_socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, SendBufferBytes);
    m_delayTimer.setSingleShot(true);
    m_delayTimer.setTimerType(Qt::PreciseTimer);
    m_stallTimer.setSingleShot(true);
    m_stallTimer.setInterval(StallTimeoutMs);
    connect(&m_delayTimer, &QTimer::timeout, this, &ModbusTcpConnection::sendHeldAnswer);
    connect(&m_stallTimer, &QTimer::timeout, this, &ModbusTcpConnection::onStalled);
    connect(m_socket, &QIODevice::readyRead, this, &ModbusTcpConnection::scheduleTurn);
    connect(m_socket, &QIODevice::bytesWritten, this, &ModbusTcpConnection::onBytesWritten);
    connect(m_socket, &QAbstractSocket::disconnected, this, &QObject::deleteLater);
    scheduleTurn();
}

void ModbusTcpConnection::scheduleTurn()
{
    if (m_turnScheduled)
        return;
    m_turnScheduled = true;
    QMetaObject::invokeMethod(this, &ModbusTcpConnection::serveTurn, Qt::QueuedConnection);
}

void ModbusTcpConnection::serveTurn()
{
    m_turnScheduled = false;
    for (int served = 0; served < RequestsPerTurn; ++served) {
        if (!serveNext())
            return;
    }
    scheduleTurn();
}

bool ModbusTcpConnection::serveNext()
{
    if (m_delayTimer.isActive() || m_socket->state() != QAbstractSocket::ConnectedState)
        return false;
    if (answersPileUp()) {
        if (!m_stallTimer.isActive())
            m_stallTimer.start();
        return false;
    }
    ModbusTcpFrame request;
    int frameSize = 0;
    switch (ModbusTcpFrame::parse(m_socket->peek(ModbusTcpFrame::MaxSize), &request, &frameSize)) {
    case ModbusTcpFrame::Incomplete:
        return false;
    case ModbusTcpFrame::Broken:
        drop(QStringLiteral("it sent bytes that are no Modbus TCP frame"));
        return false;
    case ModbusTcpFrame::Complete:
        break;
    }
    m_socket->skip(frameSize);
    // Like a gateway's other devices, other unit ids are not answered.
    if (request.unitId == m_unitId)
        answer(request);
    return true;
}

void ModbusTcpConnection::answer(const ModbusTcpFrame &request)
{
    const QModbusRequest pdu(QModbusPdu::FunctionCode(quint8(request.pdu.at(0))), request.pdu.mid(1));
    const ModbusRequestHandler::Answer worked = m_handler->answer(pdu);
    const QByteArray frame = request.withPdu(ModbusRequestHandler::pduBytes(worked.response));
    if (m_handler->answerDelayMs() <= 0) {
        send(worked, frame);
        return;
    }
    // Held without blocking: the other clients are served meanwhile, this one waits.
    m_heldAnswer = worked;
    m_heldFrame = frame;
    m_delayTimer.start(m_handler->answerDelayMs());
}

void ModbusTcpConnection::sendHeldAnswer()
{
    send(m_heldAnswer, m_heldFrame);
    scheduleTurn();
}

void ModbusTcpConnection::send(ModbusRequestHandler::Answer answer, const QByteArray &frame)
{
    if (m_socket->write(frame) != frame.size())
        answer.meaning += QStringLiteral(" | not sent: ") + m_socket->errorString();
    m_handler->logSent(answer);
}

bool ModbusTcpConnection::answersPileUp() const
{
    return m_socket->bytesToWrite() > MaxUnreadBytes;
}

void ModbusTcpConnection::onBytesWritten()
{
    if (!m_stallTimer.isActive())
        return;
    if (answersPileUp()) {
        // Read, if slowly: the client gets its time again.
        m_stallTimer.start();
        return;
    }
    m_stallTimer.stop();
    scheduleTurn();
}

void ModbusTcpConnection::onStalled()
{
    drop(QStringLiteral("it has read none of its last %1 bytes of answers for %2 s")
             .arg(m_socket->bytesToWrite()).arg(StallTimeoutMs / 1000));
}

void ModbusTcpConnection::drop(const QString &reason)
{
    m_logger->event(QStringLiteral("client %1 dropped: %2").arg(m_peerName, reason));
    m_delayTimer.stop();
    m_stallTimer.stop();
    m_socket->abort();
    deleteLater();
}
