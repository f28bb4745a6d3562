#ifndef VALUEINPUT_H
#define VALUEINPUT_H

#include "registerlayout.h"
#include "velmordevicemodel.h"

#include <QVariant>

#include <string>

// A value an engineer gives a variable: checked against what its type can hold, never cut
// to fit.
namespace ValueInput {

struct Range {
    double minimum;
    double maximum;
};

struct Parsed {
    VelmorDeviceModel::ValueCheck check = VelmorDeviceModel::ValueNotANumber;
    // The value as float32 holds it: rounded to single precision.
    double number = 0;
};

// int16: 16 bits, int32 and no or an unknown "type": 32 bits, unsigned for a bit field;
// float32: the finite single-precision range.
Range range(RegisterLayout::Type type, bool bitfield);

// Whole numbers in decimal for the integer types; for float32 any notation, with a
// decimal point or comma.
Parsed parse(const QVariant &value, RegisterLayout::Type type, bool bitfield);

} // namespace ValueInput

#endif // VALUEINPUT_H
