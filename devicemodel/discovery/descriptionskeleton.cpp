#include "descriptionskeleton.h"

#include "protocoltraits.h"
#include "velmordevicemodel.h"

#include <yaml-cpp/yaml.h>

namespace {

// The protocol's name as description files write it.
const char *protocolName(ScanPlan::Protocol protocol)
{
    int code = VelmorDeviceModel::ModbusRtu;
    if (protocol == ScanPlan::Protocol::VelmorbusRtu)
        code = VelmorDeviceModel::VelmorbusRtu;
    else if (protocol == ScanPlan::Protocol::ModbusTcp)
        code = VelmorDeviceModel::ModbusTcp;
    for (const ProtocolTraits &traits : ProtocolTraits::all()) {
        if (traits.code == code)
            return traits.name;
    }
    return "";
}

std::string utf8(const QString &text)
{
    return text.toUtf8().toStdString();
}

void emitLink(YAML::Emitter &out, const ScanFind &find, const ScanPlan &plan)
{
    const ScanCandidate &candidate = find.candidate;
    if (candidate.protocol == ScanPlan::Protocol::ModbusTcp) {
        out << YAML::Key << "host" << YAML::Value << utf8(plan.tcpHost);
        out << YAML::Key << "port" << YAML::Value << plan.tcpPort;
        return;
    }
    out << YAML::Key << "port" << YAML::Value << utf8(plan.serialPort);
    out << YAML::Key << "baudrate" << YAML::Value << candidate.baudRate;
    out << YAML::Key << "parity" << YAML::Value << utf8(candidate.parity);
    out << YAML::Key << "databits" << YAML::Value << candidate.dataBits;
    out << YAML::Key << "stopbits" << YAML::Value << candidate.stopBits;
}

} // namespace

namespace DescriptionSkeleton {

QString deviceName()
{
    return QStringLiteral("Найденное устройство");
}

QByteArray text(const ScanFind &find, const ScanPlan &plan)
{
    YAML::Emitter out;
    out << YAML::Comment(utf8(find.summary()));
    out << YAML::BeginMap;
    out << YAML::Key << "device" << YAML::Value << utf8(deviceName());
    out << YAML::Key << "protocol" << YAML::Value << protocolName(find.candidate.protocol);
    emitLink(out, find, plan);
    out << YAML::Key << "id" << YAML::Value << find.candidate.address;
    out << YAML::Key << "variables" << YAML::Value << YAML::Flow << YAML::BeginSeq << YAML::EndSeq;
    out << YAML::EndMap;
    return QByteArray(out.c_str()) + '\n';
}

} // namespace DescriptionSkeleton
