#ifndef SCALARREADING_H
#define SCALARREADING_H

#include <QString>

namespace YAML {
class Node;
}

// Reads scalars the way the device model does (yaml-cpp's own conversions), and says
// what a finding needs to show of them.
namespace ScalarReading {

// The model's integer: optional sign, 0x hexadecimal, leading-0 octal, else decimal,
// trailing blanks allowed, within 32 bits signed.
bool readInt(const YAML::Node &node, int *value);
// The same forms over 64 bits, to tell an out-of-range number from no number.
bool readLongLong(const YAML::Node &node, long long *value);
bool readFloat(const YAML::Node &node);
// y, yes, true, on / n, no, false, off; all lower case, all upper case or capitalised.
bool readBool(const YAML::Node &node, bool *value);
// n, no or off in any of the accepted cases: false to the model, true to a plain
// text-to-flag conversion (anything but empty, 0 and false).
bool isFalseWordOtherThanFalse(const YAML::Node &node);

// A leading-0 octal integer that a reader could take for decimal: "010" reads 8.
bool isMisleadingOctal(const YAML::Node &node);

// A scalar or an empty value: something the model can take as a text.
bool isText(const YAML::Node &node);

// The scalar for a message: quoted, control characters replaced, long texts cut;
// "a sequence" or "a mapping" for the others.
QString shown(const YAML::Node &node);
QString shown(const QString &text);

} // namespace ScalarReading

#endif // SCALARREADING_H
