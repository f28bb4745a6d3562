#ifndef PROTOCOLTRAITS_H
#define PROTOCOLTRAITS_H

#include <string>
#include <vector>

// What a protocol name in a description file stands for: the one table of protocol names,
// shared by the device model and the checker.
struct ProtocolTraits
{
    enum class Transport {
        Serial,
        Tcp
    };

    // The VelmorDeviceModel::Protocol code.
    int code;
    const char *name;
    Transport transport;
    bool modbus;
    // False for a name that is known but refused.
    bool supported;
    // Joins neighbouring registers into one request when the file asks for it.
    bool readsBlocks;
    // Can ask the controller to keep its configuration in flash.
    bool storesConfiguration;
    // The link settings for keys the file leaves out.
    const char *defaultSerialPort;
    int defaultBaudRate;
    const char *defaultHost;
    int defaultTcpPort;

    bool isSerial() const;

    // In code order.
    static const std::vector<ProtocolTraits> &all();
    // The protocol of exactly that text; null when none.
    static const ProtocolTraits *named(const std::string &name);
};

#endif // PROTOCOLTRAITS_H
