#ifndef SCALARREADING_H
#define SCALARREADING_H

#include <QString>

namespace YAML {
class Node;
}

// What the checker needs to know of scalars beyond the model's reading of them
// (DescriptionScalar), and what a finding shows of them.
namespace ScalarReading {

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
