#ifndef DESCRIPTIONSCALAR_H
#define DESCRIPTIONSCALAR_H

#include "registerlayout.h"
#include "serialframing.h"

#include <QString>

#include <string>

namespace YAML {
class Node;
}

// How a description file's scalars are read: yaml-cpp's own conversions, the one reading
// of numbers and booleans that the device model and the checker share.
namespace DescriptionScalar {

// The scalar's text; empty for an absent node and for one that is not a scalar.
std::string scalarString(const YAML::Node &node);
QString scalarText(const YAML::Node &node);

// Optional sign, 0x hexadecimal, leading-0 octal, else decimal, trailing blanks allowed,
// within 32 bits signed. False for anything else, also for an empty value.
bool readInt(const YAML::Node &node, int *value);
// The same forms over 64 bits, to tell an out-of-range number from no number.
bool readLongLong(const YAML::Node &node, long long *value);
bool readFloat(const YAML::Node &node, float *value);
// y, yes, true, on / n, no, false, off; all lower case, all upper case or capitalised.
bool readBool(const YAML::Node &node, bool *value);
// One of RegisterLayout::wordOrderNames(), exactly.
bool readWordOrder(const YAML::Node &node, RegisterLayout::WordOrder *order);
// One of SerialFraming::parityNames(), exactly.
bool readParity(const YAML::Node &node, SerialFraming::Parity *parity);

} // namespace DescriptionScalar

#endif // DESCRIPTIONSCALAR_H
