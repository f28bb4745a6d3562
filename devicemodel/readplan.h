#ifndef READPLAN_H
#define READPLAN_H

#include "variablelink.h"

#include <QVector>

class VariableTable;

// Which variables one Modbus read covers. Variables that follow each other in the list
// join one read while they use the same register table, their registers ascend, each
// starts at most gapRegisters after the previous one ends, and the read stays within
// blockRegisters. A variable is never split between two reads.
class ReadPlan
{
public:
    // Every variable alone, as a plan of block 0.
    ReadPlan() = default;
    ReadPlan(int blockRegisters, int gapRegisters);

    // The variables one read covers, from row first on: that row's own at least, and
    // none when its description is unusable.
    QVector<VariableLink> blockFrom(const VariableTable &variables, int first) const;

private:
    bool joins(const VariableLink &start, const VariableLink &previous, const VariableLink &next) const;

    int m_blockRegisters = 0;
    int m_gapRegisters = 0;
};

#endif // READPLAN_H
