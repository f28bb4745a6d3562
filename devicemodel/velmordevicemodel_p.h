#ifndef VELMORDEVICEMODEL_P_H
#define VELMORDEVICEMODEL_P_H

#include <yaml-cpp/yaml.h>

class QModbusClient;
class VelmorbusRtuSerialMaster;

class VelmorDeviceModelPrivate
{
public:
    VelmorbusRtuSerialMaster *rtuMaster = nullptr;
    QModbusClient *modbusClient = nullptr;
    // The parsed description: the variable table and the store of current values.
    YAML::Node config;
    // "variables" of config, looked up once.
    YAML::Node variables;
    // Row of the variable whose request is outstanding or due next; varCount() means no cycle runs.
    int cyclePosition = 0;
};

#endif // VELMORDEVICEMODEL_P_H
