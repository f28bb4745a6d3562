#ifndef VARIABLELINK_H
#define VARIABLELINK_H

#include "registerlayout.h"

#include <QtGlobal>

// What the link needs of one variable's description.
struct VariableLink {
    quint16 addr = 0;
    RegisterLayout::Type type = RegisterLayout::Type::Untyped;
    bool input = false;
    bool bitfield = false;
    // Modbus: the variable's own "wordorder"; without one the link's order holds.
    bool hasWordOrder = false;
    RegisterLayout::WordOrder wordOrder = RegisterLayout::WordOrder::ABCD;
};

#endif // VARIABLELINK_H
