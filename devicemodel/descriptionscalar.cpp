#include "descriptionscalar.h"

#include <yaml-cpp/yaml.h>

namespace DescriptionScalar {

namespace {

template <typename Value>
bool convert(const YAML::Node &node, Value *value)
{
    if (!node || !node.IsScalar())
        return false;
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

} // namespace DescriptionScalar
