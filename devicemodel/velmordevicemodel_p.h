#ifndef VELMORDEVICEMODEL_P_H
#define VELMORDEVICEMODEL_P_H

#include "registerlayout.h"

#include <QString>

#include <vector>

#include <yaml-cpp/yaml.h>

class ModbusRtuLineWatch;
class QModbusClient;
class QObject;
class VelmorbusRtuSerialMaster;

// What the link needs of one variable's description.
struct VariableLink {
    quint16 addr = 0;
    RegisterLayout::Type type = RegisterLayout::Type::Untyped;
    bool input = false;
    bool bitfield = false;
};

struct CachedLink {
    enum State {
        Unread,
        Usable,
        Unusable
    };

    State state = Unread;
    VariableLink link;
};

class VelmorDeviceModelPrivate
{
public:
    // Null for an id outside the table or an entry that is not a mapping.
    YAML::Node variable(unsigned int id) const;
    int variableCount() const;
    // "name" of the variable, or '#' and its id when it has none.
    QString variableLabel(unsigned int id) const;
    // False when "addr" is missing or not an integer, or "input"/"bitfield" is not a boolean.
    bool readVariableLink(unsigned int id, VariableLink *link) const;
    bool parseVariableLink(unsigned int id, VariableLink *link) const;
    // The held "value" as the 32-bit pattern written to the device; false when it is not a number.
    bool readWritePattern(unsigned int id, RegisterLayout::Type type, quint32 *pattern) const;

    VelmorbusRtuSerialMaster *rtuMaster = nullptr;
    QModbusClient *modbusClient = nullptr;
    // Modbus RTU only: keeps what no request waits for from the client, and tells a lost line.
    ModbusRtuLineWatch *lineWatch = nullptr;
    // The parsed description: the variable table and the store of current values.
    YAML::Node config;
    // "variables" of config, looked up once.
    YAML::Node variables;
    // readVariableLink() results by variable id, filled as the link needs them.
    mutable std::vector<CachedLink> linkCache;
    // Row of the variable whose request is outstanding or due next; variableCount() means no cycle runs.
    int cyclePosition = 0;
    // Bumped at every cycle start; timers and replies of an older cycle are ignored.
    quint64 cycleGeneration = 0;
    // The one request (read or command) the running cycle waits for.
    QObject *pendingReply = nullptr;
    // The Modbus client reached the connected state since the last connectDevice().
    bool linkUp = false;
    // Set while the link is being closed on purpose, so its state change is not reported.
    bool closingLink = false;
};

#endif // VELMORDEVICEMODEL_P_H
