#ifndef CONTROLLERFLEET_H
#define CONTROLLERFLEET_H

#include "descriptiondir.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>

class SimProcess;

// Modbus TCP controllers played by velmor-sim, one process each on a free local port,
// with the same three variables and fixed values: T1 (read-only, 65), Hyst (int16,
// writable, 3) and Setpoint (float32, writable, 60). Each gets a description file for
// velmor-cli named after it, so that the controller's device name is its name.
class ControllerFleet
{
public:
    ControllerFleet();
    ~ControllerFleet();

    // The variables every controller serves, as a YAML block sequence.
    static const QByteArray servedVariables;

    // Starts the controller and returns the path of its description file; empty when the
    // simulator did not start.
    QString add(const QString &name, const QStringList &simulatorArguments = QStringList());
    // A description file named name for a controller that refuses every connection.
    QString addRefusing(const QString &name);
    // A description file named name of these variables for a controller at that port.
    QString describe(const QString &name, int port, const QByteArray &variables = servedVariables);
    // The port of the controller of that name.
    int port(const QString &name) const;
    // Ends the simulator; true when it ended normally.
    bool stop(const QString &name);
    // Starts the simulator again on its port.
    bool restart(const QString &name);
    // What the simulator logged: one line per request and answer.
    QByteArray traffic(const QString &name);
    QString path() const;

private:
    struct Controller {
        std::unique_ptr<SimProcess> process;
        QString servedFile;
        int port = 0;
        QStringList arguments;
    };

    bool startSimulator(Controller *controller);
    SimProcess *process(const QString &name) const;

    DescriptionDir m_files;
    std::map<QString, Controller> m_controllers;
};

#endif // CONTROLLERFLEET_H
