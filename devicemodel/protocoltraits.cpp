#include "protocoltraits.h"

#include "velmordevicemodel.h"

bool ProtocolTraits::isSerial() const
{
    return transport == Transport::Serial;
}

const std::vector<ProtocolTraits> &ProtocolTraits::all()
{
    using T = Transport;
    static const std::vector<ProtocolTraits> protocols = {
        {VelmorDeviceModel::VelmorbusRtu, "VelmorBUS RTU", T::Serial, false, true, false, true, "COM1", 115200, "", 0},
        {VelmorDeviceModel::VelmorbusTcp, "VelmorBUS TCP", T::Tcp, false, false, false, true, "", 0, "127.0.0.1", 0},
        {VelmorDeviceModel::ModbusRtu, "ModBUS RTU", T::Serial, true, true, true, false, "COM1", 115200, "", 0},
        {VelmorDeviceModel::ModbusTcp, "ModBUS TCP", T::Tcp, true, true, true, false, "", 0, "127.0.0.1", 502},
    };
    return protocols;
}

const ProtocolTraits *ProtocolTraits::named(const std::string &name)
{
    for (const ProtocolTraits &protocol : all()) {
        if (name == protocol.name)
            return &protocol;
    }
    return nullptr;
}
