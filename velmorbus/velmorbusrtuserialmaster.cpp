#include "velmorbusrtuserialmaster.h"
#include "serialline.h"
#include "velmorbusframe.h"

#include <QDebug>

namespace {

// Longest legal frame: device id + head byte + addr + size + 65535 data bytes + CRC.
constexpr int MaxResponseSize = 1 + 1 + 2 + 2 + 65535 + 2;
// Device id + head byte + addr + size + CRC: the shortest response that can pass.
constexpr int MinResponseSize = 1 + 1 + 2 + 2 + 2;
// A failing line is reopened at once, then after 10 ms, doubling up to a second.
constexpr int FirstReopenPauseMs = 10;
constexpr int LongestReopenPauseMs = 1000;

int reopenPauseMs(int reopensInRow)
{
    if (reopensInRow == 0)
        return 0;
    return qMin(LongestReopenPauseMs, FirstReopenPauseMs << qMin(reopensInRow - 1, 7));
}

} // namespace

VelmorbusRtuSerialMaster::VelmorbusRtuSerialMaster(QObject *parent)
    : QObject(parent)
    , m_serialPort(new QSerialPort(this))
{
    connect(m_serialPort, &QSerialPort::readyRead, this, &VelmorbusRtuSerialMaster::onReadyRead);
    connect(m_serialPort, &QSerialPort::errorOccurred, this, &VelmorbusRtuSerialMaster::onPortError);
    m_serialPort->setPortName(QStringLiteral("COM1"));
    m_serialPort->setBaudRate(QSerialPort::Baud19200);
    m_serialPort->setDataBits(QSerialPort::Data8);
    m_serialPort->setParity(QSerialPort::NoParity);
    m_serialPort->setStopBits(QSerialPort::OneStop);

    // Exchanges are timed to the millisecond; a coarse timer may fire 5% late.
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &VelmorbusRtuSerialMaster::onTimeout);

    m_reopenTimer.setSingleShot(true);
    connect(&m_reopenTimer, &QTimer::timeout, this, &VelmorbusRtuSerialMaster::reopenLiveLine);
}

VelmorbusRtuSerialMaster::~VelmorbusRtuSerialMaster()
{
    close();
}

bool VelmorbusRtuSerialMaster::open()
{
    m_receiveBuffer.clear();
    m_reopenTimer.stop();
    m_lineFailures.clear();
    m_reopensInRow = 0;
    if (!m_serialPort->open(QIODevice::ReadWrite)) {
        qDebug() << "(Velmorbus) Unable to open serialport" << m_serialPort->errorString();
        return false;
    }
    m_serialPort->clear(QSerialPort::AllDirections);
    return true;
}

void VelmorbusRtuSerialMaster::close()
{
    m_reopenTimer.stop();
    if (m_serialPort->isOpen())
        m_serialPort->close();
}

VelmorbusReply *VelmorbusRtuSerialMaster::sendRequest(const VelmorBusPacket &request, quint8 id)
{
    if (m_currentReply)
        return nullptr;

    // A closed port holds nothing to discard and accepts no frame; the reply then times out.
    if (m_serialPort->isOpen())
        m_serialPort->clear(QSerialPort::AllDirections);
    m_receiveBuffer.clear();

    auto *reply = new VelmorbusReply(id, this);
    m_currentReply = reply;
    m_requestCmd = request.cmd();
    m_requestAddr = request.addr();

    const QByteArray frame = VelmorbusFrame::build(id, request.toByteArray());

    // Asked again: discarding on an unplugged adapter fails and closes the port.
    if (m_serialPort->isOpen())
        m_serialPort->write(frame);
    emit frameSent(frame);
    m_timer.start(m_responseTimeoutMs);
    return reply;
}

QString VelmorbusRtuSerialMaster::portName() const
{
    return m_serialPort->portName();
}

QString VelmorbusRtuSerialMaster::portErrorString() const
{
    return m_serialPort->errorString();
}

void VelmorbusRtuSerialMaster::setPortName(const QString &name)
{
    m_serialPort->setPortName(name);
}

int VelmorbusRtuSerialMaster::baudRate() const
{
    return m_serialPort->baudRate();
}

void VelmorbusRtuSerialMaster::setBaudRate(int baudRate)
{
    m_serialPort->setBaudRate(baudRate);
}

QSerialPort::DataBits VelmorbusRtuSerialMaster::dataBits() const
{
    return m_serialPort->dataBits();
}

void VelmorbusRtuSerialMaster::setDataBits(QSerialPort::DataBits dataBits)
{
    m_serialPort->setDataBits(dataBits);
}

QSerialPort::Parity VelmorbusRtuSerialMaster::parity() const
{
    return m_serialPort->parity();
}

void VelmorbusRtuSerialMaster::setParity(QSerialPort::Parity parity)
{
    m_serialPort->setParity(parity);
}

QSerialPort::StopBits VelmorbusRtuSerialMaster::stopBits() const
{
    return m_serialPort->stopBits();
}

void VelmorbusRtuSerialMaster::setStopBits(QSerialPort::StopBits stopBits)
{
    m_serialPort->setStopBits(stopBits);
}

int VelmorbusRtuSerialMaster::responseTimeout() const
{
    return m_responseTimeoutMs;
}

void VelmorbusRtuSerialMaster::setResponseTimeout(int timeoutMs)
{
    m_responseTimeoutMs = timeoutMs;
}

int VelmorbusRtuSerialMaster::interFrameDelay() const
{
    return m_interFrameDelayMs;
}

void VelmorbusRtuSerialMaster::setInterFrameDelay(int delayMs)
{
    m_interFrameDelayMs = delayMs;
}

void VelmorbusRtuSerialMaster::onTimeout()
{
    silenceElapsed();
}

void VelmorbusRtuSerialMaster::silenceElapsed()
{
    m_timer.stop();
    if (m_receiveBuffer.isEmpty()) {
        if (m_currentReply)
            settleCurrentReply(VelmorbusReply::TimeoutError, QStringLiteral("Timeout"));
        return;
    }
    if (!m_currentReply) {
        qDebug() << "currentReply is nullptr, why?";
        qDebug() << "response buffer:" << QString::fromLatin1(m_receiveBuffer.toHex());
        m_receiveBuffer.clear();
        return;
    }

    emit frameReceived(m_receiveBuffer);
    if (quint8(m_receiveBuffer.at(0)) != m_currentReply->id()) {
        settleCurrentReply(VelmorbusReply::IdError, QStringLiteral("Response id doesn't match request id"));
    } else if (m_receiveBuffer.size() < MinResponseSize) {
        settleCurrentReply(VelmorbusReply::FrameError, QStringLiteral("Recieved response is too small"));
    } else if (!VelmorbusFrame::crcMatches(m_receiveBuffer)) {
        settleCurrentReply(VelmorbusReply::FrameError, QStringLiteral("Response CRC mismatch"));
    } else {
        settleWithBody(VelmorbusFrame::body(m_receiveBuffer));
    }
}

int VelmorbusRtuSerialMaster::silenceWaitMs() const
{
    return m_timer.isActive() ? m_timer.interval() : -1;
}

void VelmorbusRtuSerialMaster::onReadyRead()
{
    const QByteArray bytes = m_serialPort->readAll();
    if (!bytes.isEmpty()) {
        m_lineFailures.clear();
        m_reopensInRow = 0;
    }
    receive(bytes);
}

void VelmorbusRtuSerialMaster::receive(const QByteArray &bytes)
{
    // What no request waits for is dropped as it comes, so a line that babbles between
    // requests never fills memory.
    if (!m_currentReply || bytes.isEmpty())
        return;
    m_receiveBuffer.append(bytes);
    if (m_receiveBuffer.size() > MaxResponseSize) {
        m_timer.stop();
        settleCurrentReply(VelmorbusReply::FrameError, QStringLiteral("Recieved response is too large"));
        return;
    }
    m_timer.start(m_interFrameDelayMs);
}

void VelmorbusRtuSerialMaster::onPortError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    if (SerialLine::hungUp(*m_serialPort)) {
        // A line that is gone (unplugged adapter, hung-up terminal) reports one of these again at
        // every turn of the event loop; closing stops that, and a request in flight ends by its timer.
        close();
        emit errorOccurred(error);
        return;
    }
    // On a live line, a read that would have blocked (input flushed after its notification)
    // is reported as a resource error, after which Qt reads no more; a read that found its
    // input flushed is reported as a read error, and Qt reads on.
    const bool keepsFailing = m_lineFailures.count();
    if (error == QSerialPort::ResourceError || keepsFailing)
        pauseLine();
}

void VelmorbusRtuSerialMaster::pauseLine()
{
    if (m_reopenTimer.isActive())
        return;
    // Closed, a line that keeps failing cannot keep the event loop busy during the pause.
    m_serialPort->close();
    m_reopenTimer.start(reopenPauseMs(m_reopensInRow++));
}

void VelmorbusRtuSerialMaster::reopenLiveLine()
{
    // Neither input nor the buffer are cleared: the exchange in flight goes on.
    if (!m_serialPort->open(QIODevice::ReadWrite)) {
        qDebug() << "(Velmorbus) Unable to open serialport" << m_serialPort->errorString();
        emit errorOccurred(QSerialPort::ResourceError);
    }
}

void VelmorbusRtuSerialMaster::settleWithBody(const QByteArray &body)
{
    const VelmorBusPacket packet = VelmorBusPacket::fromByteArray(body);
    if (!packet.isValid()) {
        settleCurrentReply(VelmorbusReply::ParseError, QStringLiteral("Unable to parse current response"));
        return;
    }
    // A response that came too late for its own request can end up in the window of the
    // next one; it echoes command and address, so it never counts for another request.
    if (packet.cmd() != m_requestCmd) {
        settleCurrentReply(VelmorbusReply::MismatchError,
                           QStringLiteral("(Velmorbus) reply is for another command (%1)").arg(packet.cmd()));
        return;
    }
    if (packet.addr() != m_requestAddr) {
        settleCurrentReply(VelmorbusReply::MismatchError,
                           QStringLiteral("(Velmorbus) reply is for another address (0x%1)").arg(packet.addr(), 0, 16));
        return;
    }
    VelmorbusReply *reply = m_currentReply;
    reply->setResult(packet);
    reply->setFinished(true);
    finishExchange();
}

void VelmorbusRtuSerialMaster::settleCurrentReply(VelmorbusReply::Error error, const QString &errorText)
{
    VelmorbusReply *reply = m_currentReply;
    reply->setError(error, errorText);
    finishExchange();
}

void VelmorbusRtuSerialMaster::finishExchange()
{
    m_currentReply = nullptr;
    m_receiveBuffer.clear();
}
