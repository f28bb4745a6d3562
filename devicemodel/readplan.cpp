#include "readplan.h"

#include "variabletable.h"

namespace {

// One past the last register of the variable; an int, as it may pass 65535.
int registerEnd(const VariableLink &variable)
{
    return int(variable.addr) + RegisterLayout::modbusRegisterCount(variable.type);
}

} // namespace

ReadPlan::ReadPlan(int blockRegisters, int gapRegisters)
    : m_blockRegisters(blockRegisters)
    , m_gapRegisters(gapRegisters)
{
}

QVector<VariableLink> ReadPlan::blockFrom(const VariableTable &variables, int first) const
{
    QVector<VariableLink> block;
    VariableLink next;
    if (!variables.link(unsigned(first), &next))
        return block;
    block.append(next);
    // Every variable takes at least one register, so a block never holds more than its registers.
    for (int row = first + 1; row < variables.count() && block.size() < m_blockRegisters; ++row) {
        if (!variables.link(unsigned(row), &next) || !joins(block.first(), block.last(), next))
            break;
        block.append(next);
    }
    return block;
}

bool ReadPlan::joins(const VariableLink &start, const VariableLink &previous, const VariableLink &next) const
{
    const int previousEnd = registerEnd(previous);
    return next.input == start.input
        && next.addr >= previousEnd
        && next.addr - previousEnd <= m_gapRegisters
        && registerEnd(next) - start.addr <= m_blockRegisters;
}
