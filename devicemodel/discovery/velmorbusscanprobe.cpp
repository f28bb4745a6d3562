#include "velmorbusscanprobe.h"

#include "serialportframing.h"
#include "velmorbusreply.h"
#include "velmorbusrtuserialmaster.h"

#include <QtEndian>

namespace {

// The size of one value in a Velmorbus read, as the device model asks for it.
const quint16 valueBytes = 4;

// Data bytes as little-endian 16-bit words, the controllers' own byte order.
QVector<quint16> wordsOf(const QByteArray &data)
{
    QVector<quint16> words;
    for (int index = 0; index + 1 < data.size(); index += 2)
        words.append(qFromLittleEndian<quint16>(data.constData() + index));
    return words;
}

} // namespace

VelmorbusScanProbe::VelmorbusScanProbe(const ScanPlan &plan, QObject *parent)
    : ScanProbe(parent)
    , m_master(new VelmorbusRtuSerialMaster(this))
{
    m_master->setPortName(plan.serialPort);
    m_master->setResponseTimeout(plan.timeoutMs);
    connect(m_master, &VelmorbusRtuSerialMaster::errorOccurred, this, [this] {
        emit lineFailed(QStringLiteral("serial port %1 failed").arg(m_master->portName()));
    });
}

VelmorbusScanProbe::~VelmorbusScanProbe()
{
    abandon();
}

bool VelmorbusScanProbe::open(const ScanCandidate &line, QString *reason)
{
    const SerialFraming framing = framingOf(line);
    m_master->setBaudRate(line.baudRate);
    m_master->setParity(SerialPortFraming::parity(framing));
    m_master->setDataBits(SerialPortFraming::dataBits(framing));
    m_master->setStopBits(SerialPortFraming::stopBits(framing));
    if (m_master->open())
        return true;
    *reason = m_master->portErrorString();
    return false;
}

void VelmorbusScanProbe::close()
{
    abandon();
    m_master->close();
}

void VelmorbusScanProbe::ask(const ScanCandidate &candidate, int probeAddress)
{
    m_candidate = candidate;
    m_probeAddress = probeAddress;
    VelmorbusReply *reply = m_master->sendRequest(VelmorBusPacket(VelmorBusPacket::CmdRead, quint16(probeAddress), valueBytes),
                                                  quint8(candidate.address));
    if (!reply) {
        emit lineFailed(QStringLiteral("serial port %1 is busy").arg(m_master->portName()));
        return;
    }
    m_reply = reply;
    connect(reply, &VelmorbusReply::finished, this, &VelmorbusScanProbe::onFinished);
}

void VelmorbusScanProbe::abandon()
{
    if (!m_reply)
        return;
    disconnect(m_reply, nullptr, this, nullptr);
    connect(m_reply, &VelmorbusReply::finished, m_reply, &QObject::deleteLater);
    m_reply = nullptr;
}

void VelmorbusScanProbe::onFinished()
{
    VelmorbusReply *reply = m_reply;
    m_reply = nullptr;
    reply->deleteLater();
    // Any well-formed answer from that id, whatever its status, is a device.
    if (reply->error() != VelmorbusReply::NoError) {
        emit silent();
        return;
    }
    ScanFind find;
    find.candidate = m_candidate;
    find.probeAddress = m_probeAddress;
    find.words = wordsOf(reply->result().data());
    emit answered(find);
}
