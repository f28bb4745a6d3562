#include "libmodbusloop.h"

#include <QElapsedTimer>

namespace {
constexpr int serverAddress = 1;
}

LibmodbusLoop::LibmodbusLoop(const QVector<DescriptionWriter::Variable> &variables)
    : m_variables(variables)
{
}

LibmodbusLoop::~LibmodbusLoop()
{
    if (!m_context)
        return;
    modbus_close(m_context);
    modbus_free(m_context);
}

bool LibmodbusLoop::connectTo(quint16 port)
{
    m_context = modbus_new_tcp("127.0.0.1", port);
    return m_context && modbus_set_slave(m_context, serverAddress) == 0 && modbus_connect(m_context) == 0;
}

qint64 LibmodbusLoop::runPass()
{
    QElapsedTimer timer;
    timer.start();
    uint16_t registers[2];
    for (const DescriptionWriter::Variable &variable : qAsConst(m_variables)) {
        if (modbus_read_registers(m_context, variable.addr, variable.registerCount, registers) != variable.registerCount)
            return -1;
        m_checksum += registers[0];
    }
    return timer.nsecsElapsed();
}
