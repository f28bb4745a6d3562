#ifndef SIMULATOR_H
#define SIMULATOR_H

#include "controllerclock.h"
#include "devicedescription.h"
#include "faultinjector.h"
#include "simoptions.h"
#include "trafficlogger.h"
#include "variablestore.h"

#include <QObject>

#include <memory>

class LineKeeper;
class ModbusRequestHandler;
class ModbusTcpServer;
class PtyDevice;
class PtyRelay;
class QModbusServer;
class QSerialPort;
class VelmorbusResponder;
class VelmorbusSlave;

// One simulated controller: the variables of a description served over its protocol
// on the link the options name.
class Simulator : public QObject
{
    Q_OBJECT

public:
    Simulator(const DeviceDescription &description, const SimOptions &options, QObject *parent = nullptr);
    ~Simulator() override;

    // Opens the link and says so on standard output; false with errorString() set when
    // the link cannot be had.
    bool start();
    QString errorString() const { return m_errorString; }

private:
    bool checkFaults();
    void listVariables();
    bool startModbusTcp();
    bool startModbusRtu();
    bool startVelmorbus();
    bool openSerialLine();
    void makeModbusHandler();
    void keepSerialPort();
    void keepModbusServer(const QString &where);
    QString serialPortName() const;
    QString servedPath() const;
    bool fail(const QString &message);

    DeviceDescription m_description;
    SimOptions m_options;
    TrafficLogger m_logger;
    VariableStore m_store;
    ControllerClock m_clock;
    FaultInjector m_faults;
    std::unique_ptr<ModbusRequestHandler> m_modbusHandler;
    std::unique_ptr<VelmorbusResponder> m_velmorbusResponder;
    ModbusTcpServer *m_modbusTcpServer = nullptr;
    QModbusServer *m_modbusServer = nullptr;
    PtyDevice *m_pty = nullptr;
    PtyRelay *m_ptyRelay = nullptr;
    QSerialPort *m_serialPort = nullptr;
    VelmorbusSlave *m_velmorbusSlave = nullptr;
    LineKeeper *m_lineKeeper = nullptr;
    QString m_errorString;
};

#endif // SIMULATOR_H
