#include "simulatedcontroller.h"

#include "velmordevicemodel.h"

#include <csignal>

SimulatedController::~SimulatedController()
{
    // SimProcess kills what SIGTERM did not end.
    if (m_sim.isRunning())
        stop();
}

bool SimulatedController::start(const QByteArray &protocol, int id, const QVector<ControllerVariable> &variables,
                                const QStringList &extraArguments)
{
    const QByteArray head = "device: Контроллер для сквозных тестов\nprotocol: " + protocol + '\n'
                            + linkSettings(protocol) + "id: " + QByteArray::number(id) + '\n'
                            + m_deviceKeys;
    const QString simFile = m_files.write(QStringLiteral("served.yml"), description(head, variables, true));
    m_modelFile = m_files.write(QStringLiteral("device.yml"), description(head, variables, false));
    QStringList arguments = extraArguments;
    if (m_link.isEmpty())
        arguments << QStringLiteral("--listen") << QStringLiteral("127.0.0.1:%1").arg(m_tcpPort);
    else
        arguments << QStringLiteral("--pty") << m_link;
    return m_sim.start(arguments << QStringLiteral("--static") << simFile);
}

std::unique_ptr<VelmorDeviceModel> SimulatedController::connectedModel(int blockRegisters) const
{
    auto model = std::make_unique<VelmorDeviceModel>(m_modelFile);
    if (!model->valid())
        return nullptr;
    model->setInterQueryDelay(10);
    model->setInterUpdateDelay(50);
    model->setBlockRegisters(blockRegisters);
    model->connectDevice();
    if (!model->connected())
        return nullptr;
    return model;
}

QByteArray SimulatedController::linkSettings(const QByteArray &protocol)
{
    if (protocol == "ModBUS TCP") {
        m_link.clear();
        m_tcpPort = SimProcess::freePort();
        return "host: 127.0.0.1\nport: " + QByteArray::number(m_tcpPort) + '\n';
    }
    m_link = m_linkDir.filePath(QStringLiteral("controller"));
    return "port: " + m_link.toUtf8() + "\nbaudrate: 19200\n";
}

QByteArray SimulatedController::description(const QByteArray &head, const QVector<ControllerVariable> &variables,
                                            bool withValues)
{
    QByteArray text = head + "variables:\n";
    for (const ControllerVariable &variable : variables) {
        text += "  - {name: " + variable.name + ", addr: " + QByteArray::number(variable.addr);
        if (!variable.attributes.isEmpty())
            text += ", " + variable.attributes;
        if (withValues)
            text += ", value: " + variable.value;
        text += "}\n";
    }
    return text;
}

bool SimulatedController::stop()
{
    // A signal to process id 0 would reach the whole process group, the test included.
    return m_sim.isRunning() && m_sim.stop(SIGTERM);
}

QByteArray SimulatedController::output()
{
    return m_sim.output();
}
