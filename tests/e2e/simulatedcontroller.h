#ifndef SIMULATEDCONTROLLER_H
#define SIMULATEDCONTROLLER_H

#include "descriptiondir.h"
#include "simprocess.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

#include <memory>

class VelmorDeviceModel;

// One variable of a test controller: a description entry without its value, and the
// value the simulator serves.
struct ControllerVariable
{
    QByteArray name;
    int addr;
    // The rest of the entry, e.g. "type: int16, rw: true".
    QByteArray attributes;
    QByteArray value;
};

// velmor-sim serving a controller over one protocol, and a description file of the same
// controller for the model that names no values, so that every value the model holds
// was read from the simulator or written by the test.
class SimulatedController
{
public:
    SimulatedController() = default;
    ~SimulatedController();
    SimulatedController(const SimulatedController &) = delete;
    SimulatedController &operator=(const SimulatedController &) = delete;

    // Top-level lines both description files get, e.g. "wordorder: CDAB\n"; before start().
    void setDeviceKeys(const QByteArray &lines) { m_deviceKeys = lines; }
    // Starts the simulator for "ModBUS TCP" (on a free 127.0.0.1 port), "ModBUS RTU" or
    // "VelmorBUS RTU" (on a pseudo-terminal) and waits for its ready line.
    bool start(const QByteArray &protocol, int id, const QVector<ControllerVariable> &variables,
               const QStringList &extraArguments = QStringList());
    // Ends the simulator with SIGTERM; true when it ended normally in time.
    bool stop();

    QString modelFile() const { return m_modelFile; }
    // A device model on modelFile(), polling briskly (10 ms between queries, 50 ms between
    // cycles) and connected, reading up to blockRegisters registers in one request; null
    // when the file is refused or the link does not open.
    std::unique_ptr<VelmorDeviceModel> connectedModel(int blockRegisters = 0) const;
    // The serial link path the model opens; empty for Modbus TCP.
    QString link() const { return m_link; }
    QByteArray output();

private:
    QByteArray linkSettings(const QByteArray &protocol);
    static QByteArray description(const QByteArray &head, const QVector<ControllerVariable> &variables,
                                  bool withValues);

    QTemporaryDir m_linkDir;
    DescriptionDir m_files;
    SimProcess m_sim;
    QString m_link;
    QByteArray m_deviceKeys;
    int m_tcpPort = 0;
    QString m_modelFile;
};

#endif // SIMULATEDCONTROLLER_H
