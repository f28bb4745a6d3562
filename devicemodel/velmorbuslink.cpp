#include "velmorbuslink.h"

#include "serialportframing.h"
#include "velmorbusconstants.h"
#include "velmorbusreply.h"
#include "velmorbusrtuserialmaster.h"

#include <QDebug>

namespace {

const int valueBytes = 4;

} // namespace

VelmorbusLink::VelmorbusLink(const ProtocolTraits &protocol, QObject *parent)
    : DeviceLink(protocol, parent)
    , m_master(new VelmorbusRtuSerialMaster(this))
{
    connect(m_master, &VelmorbusRtuSerialMaster::errorOccurred, this, [this] {
        emit lost(QStringLiteral("serial port %1 failed").arg(m_settings.serialPort));
    });
}

bool VelmorbusLink::open(const LinkSettings &settings)
{
    m_settings = settings;
    m_master->setPortName(settings.serialPort);
    m_master->setBaudRate(settings.baudRate);
    m_master->setParity(SerialPortFraming::parity(settings.framing));
    m_master->setDataBits(SerialPortFraming::dataBits(settings.framing));
    m_master->setStopBits(SerialPortFraming::stopBits(settings.framing));
    m_master->setResponseTimeout(settings.responseTimeoutMs > 0 ? settings.responseTimeoutMs
                                                                : VelmorbusRtuSerialMaster::DefaultResponseTimeoutMs);
    return m_master->open();
}

void VelmorbusLink::close()
{
    m_master->close();
}

QString VelmorbusLink::openFailure() const
{
    return QStringLiteral("Unable open serial port %1 (baudrate: %2)").arg(m_settings.serialPort).arg(m_settings.baudRate);
}

QString VelmorbusLink::openFailureReason() const
{
    return m_master->portErrorString();
}

quint64 VelmorbusLink::read(const VariableLink &variable, int devId)
{
    VelmorbusReply *reply = send(VelmorBusPacket(VelmorBusPacket::CmdRead, variable.addr, valueBytes), devId);
    if (!reply)
        return 0;
    const quint64 request = nextRequestId();
    connect(reply, &VelmorbusReply::finished, this, [this, reply, request] { onReadFinished(reply, request); });
    return request;
}

quint64 VelmorbusLink::write(const VariableLink &variable, quint32 pattern, int devId)
{
    VelmorBusPacket request(VelmorBusPacket::CmdWrite, variable.addr, valueBytes);
    request.setData(qint32(pattern));
    return sendCommand(request, devId);
}

quint64 VelmorbusLink::storeConfiguration(int devId)
{
    VelmorBusPacket request(VelmorBusPacket::CmdWrite, Velmorbus::flashStoreAddr, valueBytes);
    request.setData(qint32(1));
    return sendCommand(request, devId);
}

void VelmorbusLink::dropPendingRequest()
{
    if (!m_pending)
        return;
    disconnect(m_pending, nullptr, this, nullptr);
    connect(m_pending, &VelmorbusReply::finished, m_pending, &QObject::deleteLater);
    m_pending = nullptr;
}

void VelmorbusLink::enableTrace()
{
    if (tracing())
        return;
    DeviceLink::enableTrace();
    connect(m_master, &VelmorbusRtuSerialMaster::frameSent, this, [this](const QByteArray &frame) {
        emit frameTraced(true, frame);
    });
    connect(m_master, &VelmorbusRtuSerialMaster::frameReceived, this, [this](const QByteArray &frame) {
        emit frameTraced(false, frame);
    });
}

VelmorbusReply *VelmorbusLink::send(const VelmorBusPacket &request, int devId)
{
    VelmorbusReply *reply = m_master->sendRequest(request, quint8(devId));
    if (reply) {
        m_pending = reply;
        connect(reply, &QObject::destroyed, this, [this, reply] {
            if (m_pending == reply)
                m_pending = nullptr;
        });
    }
    return reply;
}

quint64 VelmorbusLink::sendCommand(const VelmorBusPacket &request, int devId)
{
    VelmorbusReply *reply = send(request, devId);
    if (!reply) {
        qCritical("VELMORBUS::reply is nullptr");
        return 0;
    }
    const quint64 id = nextRequestId();
    connect(reply, &VelmorbusReply::finished, this, [this, reply, id] {
        reply->deleteLater();
        emit commandFinished(id, failure(reply));
    });
    return id;
}

void VelmorbusLink::onReadFinished(VelmorbusReply *reply, quint64 request)
{
    reply->deleteLater();
    QString why = failure(reply);
    const QVector<qint32> words = reply->result().dataAsInt32Vector();
    if (why.isEmpty() && words.isEmpty())
        why = QStringLiteral("(Velmorbus) reply carries no value");
    if (!why.isEmpty()) {
        emit readFinished(request, 0, why);
        qDebug().noquote() << why;
        return;
    }
    emit readFinished(request, quint32(words.first()), QString());
}

QString VelmorbusLink::failure(const VelmorbusReply *reply)
{
    if (reply->error() != VelmorbusReply::NoError)
        return reply->errorString();
    const int status = reply->result().stat();
    if (status != VelmorBusPacket::StatOk)
        return QStringLiteral("(Velmorbus) reply status is not ok (0x%1)").arg(status, 0, 16);
    return QString();
}
