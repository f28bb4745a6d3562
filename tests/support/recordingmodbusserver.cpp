#include "recordingmodbusserver.h"

#include <QHostAddress>
#include <QTcpServer>

namespace {

int freeTcpPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

RecordingModbusServer::RecordingModbusServer(QObject *parent)
    : QModbusTcpServer(parent)
{
    QModbusDataUnitMap map;
    map.insert(QModbusDataUnit::HoldingRegisters, {QModbusDataUnit::HoldingRegisters, 0, 10000});
    map.insert(QModbusDataUnit::InputRegisters, {QModbusDataUnit::InputRegisters, 0, 10000});
    setMap(map);
    setServerAddress(1);
}

bool RecordingModbusServer::listen()
{
    for (int attempt = 0; attempt < 10; ++attempt) {
        m_port = freeTcpPort();
        setConnectionParameter(QModbusDevice::NetworkAddressParameter, QStringLiteral("127.0.0.1"));
        setConnectionParameter(QModbusDevice::NetworkPortParameter, m_port);
        if (connectDevice())
            return true;
    }
    return false;
}

int RecordingModbusServer::port() const
{
    return m_port;
}

QList<QModbusRequest> RecordingModbusServer::requests() const
{
    return m_requests;
}

void RecordingModbusServer::clearRequests()
{
    m_requests.clear();
}

void RecordingModbusServer::setOverride(Override override)
{
    m_override = std::move(override);
}

void RecordingModbusServer::setHoldingRegisters(int address, const QVector<quint16> &values)
{
    setData(QModbusDataUnit(QModbusDataUnit::HoldingRegisters, address, values));
}

void RecordingModbusServer::setInputRegisters(int address, const QVector<quint16> &values)
{
    setData(QModbusDataUnit(QModbusDataUnit::InputRegisters, address, values));
}

quint16 RecordingModbusServer::holdingRegister(int address) const
{
    quint16 value = 0;
    data(QModbusDataUnit::HoldingRegisters, quint16(address), &value);
    return value;
}

QModbusResponse RecordingModbusServer::processRequest(const QModbusPdu &request)
{
    m_requests.append(QModbusRequest(request));
    emit requestReceived();
    if (m_override) {
        const QModbusResponse response = m_override(QModbusRequest(request));
        if (response.isValid())
            return response;
    }
    return QModbusTcpServer::processRequest(request);
}
