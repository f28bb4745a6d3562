#include "descriptionscalar.h"

#include <yaml-cpp/yaml.h>

#include <type_traits>

namespace DescriptionScalar {

namespace {

// yaml-cpp converts a number through a string stream, which a table of 100,000 addresses
// feels at load. Plain decimal digits without a leading zero, which it reads as decimal
// too, are taken here; every other text goes to yaml-cpp.
bool readPlainDecimal(const std::string &text, int *value)
{
    const std::size_t maxDigits = 9;
    if (text.empty() || text.size() > maxDigits || text.front() == '0')
        return false;
    int number = 0;
    for (const char digit : text) {
        if (digit < '0' || digit > '9')
            return false;
        number = number * 10 + (digit - '0');
    }
    *value = number;
    return true;
}

template <typename Value>
bool convert(const YAML::Node &node, Value *value)
{
    if (!node || !node.IsScalar())
        return false;
    if constexpr (std::is_integral<Value>::value && !std::is_same<Value, bool>::value) {
        int number = 0;
        if (readPlainDecimal(node.Scalar(), &number)) {
            *value = number;
            return true;
        }
    }
    try {
        *value = node.as<Value>();
        return true;
    } catch (const YAML::Exception &) {
        return false;
    }
}

} // namespace

std::string scalarString(const YAML::Node &node)
{
    return node ? node.Scalar() : std::string();
}

QString scalarText(const YAML::Node &node)
{
    return QString::fromStdString(scalarString(node));
}

bool readInt(const YAML::Node &node, int *value)
{
    return convert(node, value);
}

bool readLongLong(const YAML::Node &node, long long *value)
{
    return convert(node, value);
}

bool readFloat(const YAML::Node &node, float *value)
{
    return convert(node, value);
}

bool readBool(const YAML::Node &node, bool *value)
{
    return convert(node, value);
}

bool readWordOrder(const YAML::Node &node, RegisterLayout::WordOrder *order)
{
    return RegisterLayout::wordOrderFromName(scalarString(node), order);
}

bool readParity(const YAML::Node &node, SerialFraming::Parity *parity)
{
    return SerialFraming::parityFromName(scalarString(node), parity);
}

} // namespace DescriptionScalar
