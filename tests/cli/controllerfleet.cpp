#include "controllerfleet.h"

#include "simprocess.h"

#include <csignal>

namespace {

QByteArray description(int port, const QByteArray &variables)
{
    return "device: Test controller\nprotocol: ModBUS TCP\nhost: 127.0.0.1\nport: " + QByteArray::number(port)
           + "\nid: 1\nvariables:\n" + variables;
}

} // namespace

const QByteArray ControllerFleet::servedVariables =
    "  - {name: T1, addr: 0, type: int16, input: true, value: 65}\n"
    "  - {name: Hyst, addr: 103, type: int16, rw: true, value: 3}\n"
    "  - {name: Setpoint, addr: 100, type: float32, rw: true, value: 60.0}\n";

ControllerFleet::ControllerFleet() = default;

ControllerFleet::~ControllerFleet() = default;

QString ControllerFleet::add(const QString &name, const QStringList &simulatorArguments)
{
    Controller &controller = m_controllers[name];
    controller.port = SimProcess::freePort();
    controller.arguments = simulatorArguments;
    controller.servedFile = m_files.write(QStringLiteral("served-%1.yml").arg(name),
                                          description(controller.port, servedVariables));
    if (!startSimulator(&controller))
        return QString();
    return describe(name, controller.port);
}

QString ControllerFleet::addRefusing(const QString &name)
{
    return describe(name, SimProcess::freePort());
}

QString ControllerFleet::describe(const QString &name, int port, const QByteArray &variables)
{
    return m_files.write(name + QStringLiteral(".yml"), description(port, variables));
}

int ControllerFleet::port(const QString &name) const
{
    const auto found = m_controllers.find(name);
    return found == m_controllers.end() ? 0 : found->second.port;
}

bool ControllerFleet::stop(const QString &name)
{
    SimProcess *simulator = process(name);
    return simulator && simulator->isRunning() && simulator->stop(SIGTERM);
}

bool ControllerFleet::restart(const QString &name)
{
    const auto found = m_controllers.find(name);
    return found != m_controllers.end() && startSimulator(&found->second);
}

QByteArray ControllerFleet::traffic(const QString &name)
{
    SimProcess *simulator = process(name);
    return simulator ? simulator->output() : QByteArray();
}

QString ControllerFleet::path() const
{
    return m_files.path();
}

bool ControllerFleet::startSimulator(Controller *controller)
{
    controller->process = std::make_unique<SimProcess>();
    return controller->process->start(QStringList(controller->arguments)
                                      << QStringLiteral("--listen") << QStringLiteral("127.0.0.1:%1").arg(controller->port)
                                      << QStringLiteral("--static") << controller->servedFile);
}

SimProcess *ControllerFleet::process(const QString &name) const
{
    const auto found = m_controllers.find(name);
    return found == m_controllers.end() ? nullptr : found->second.process.get();
}
