#ifndef VELMORDEVICEMODEL_P_H
#define VELMORDEVICEMODEL_P_H

#include "descriptionfile.h"
#include "variabletable.h"

#include <QtGlobal>

class ModbusRtuLineWatch;
class QModbusClient;
class QObject;
class VelmorbusRtuSerialMaster;

class VelmorDeviceModelPrivate
{
public:
    VelmorbusRtuSerialMaster *rtuMaster = nullptr;
    QModbusClient *modbusClient = nullptr;
    // Modbus RTU only: keeps what no request waits for from the client, and tells a lost line.
    ModbusRtuLineWatch *lineWatch = nullptr;
    // The parsed description, held for the model's life.
    DescriptionFile file;
    // Its "variables": the variable table and the store of current values.
    VariableTable variables;
    // Row of the variable whose request is outstanding or due next; variables.count() means no cycle runs.
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
