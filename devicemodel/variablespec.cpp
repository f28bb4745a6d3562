#include "variablespec.h"

#include "descriptionscalar.h"

namespace {

bool readText(const YAML::Node &node, QString *text)
{
    *text = DescriptionScalar::scalarText(node);
    return true;
}

bool readType(const YAML::Node &node, RegisterLayout::Type *type)
{
    const std::string text = DescriptionScalar::scalarString(node);
    *type = RegisterLayout::typeFromText(&text);
    return true;
}

bool readWordOrder(const YAML::Node &node, RegisterLayout::WordOrder *order)
{
    return RegisterLayout::wordOrderFromName(DescriptionScalar::scalarString(node), order);
}

} // namespace

VariableSpec VariableSpec::fromEntry(const YAML::Node &entry)
{
    VariableSpec spec;
    spec.place = entry.Mark();
    spec.isMapping = entry.IsMap();
    if (!spec.isMapping)
        return spec;
    spec.name = SpecReading::read<QString>(entry, "name", readText);
    spec.address = SpecReading::read<int>(entry, "addr", DescriptionScalar::readInt);
    spec.type = SpecReading::read<RegisterLayout::Type>(entry, "type", readType);
    spec.input = SpecReading::read<bool>(entry, "input", DescriptionScalar::readBool);
    spec.rw = SpecReading::read<bool>(entry, "rw", DescriptionScalar::readBool);
    spec.bitfield = SpecReading::read<bool>(entry, "bitfield", DescriptionScalar::readBool);
    spec.wordOrder = SpecReading::read<RegisterLayout::WordOrder>(entry, "wordorder", readWordOrder);
    spec.description = SpecReading::read<QString>(entry, "desc", readText);
    return spec;
}

bool VariableSpec::link(VariableLink *link) const
{
    link->addr = quint16(address.value);
    link->type = type.valueOr(RegisterLayout::Type::Untyped);
    link->input = input.value;
    link->bitfield = bitfield.value;
    link->hasWordOrder = wordOrder.isPresent();
    link->wordOrder = wordOrder.valueOr(RegisterLayout::WordOrder::ABCD);
    return address.isRead() && !input.isUnreadable() && !bitfield.isUnreadable() && !wordOrder.isUnreadable();
}
