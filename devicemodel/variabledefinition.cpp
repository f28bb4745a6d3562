#include "variabledefinition.h"

#include "descriptionscalar.h"

namespace {

bool readText(const YAML::Node &node, std::string *text)
{
    *text = DescriptionScalar::scalarString(node);
    return true;
}

bool readType(const YAML::Node &node, RegisterLayout::Type *type)
{
    const std::string text = DescriptionScalar::scalarString(node);
    *type = RegisterLayout::typeFromText(&text);
    return true;
}

} // namespace

VariableDefinition VariableDefinition::fromEntry(const YAML::Node &entry)
{
    VariableDefinition definition;
    definition.place = entry.Mark();
    definition.isMapping = entry.IsMap();
    if (!definition.isMapping)
        return definition;
    // One pass over the attributes: yaml-cpp's iteration dominates the load of a large table.
    for (auto it = entry.begin(); it != entry.end(); ++it) {
        // Each "->" of a yaml-cpp iterator builds the key and value nodes anew.
        const auto attribute = *it;
        if (attribute.first.IsScalar())
            definition.readAttribute(attribute.first, attribute.second);
    }
    return definition;
}

void VariableDefinition::readAttribute(const YAML::Node &key, const YAML::Node &value)
{
    using KeyFields::readFirst;
    const std::string &name = key.Scalar();
    if (name == "name")
        readFirst(&this->name, key, value, readText);
    else if (name == "addr")
        readFirst(&address, key, value, DescriptionScalar::readInt);
    else if (name == "type")
        readFirst(&type, key, value, readType);
    else if (name == "input")
        readFirst(&input, key, value, DescriptionScalar::readBool);
    else if (name == "rw")
        readFirst(&rw, key, value, DescriptionScalar::readBool);
    else if (name == "bitfield")
        readFirst(&bitfield, key, value, DescriptionScalar::readBool);
    else if (name == "wordorder")
        readFirst(&wordOrder, key, value, DescriptionScalar::readWordOrder);
    else if (name == "desc")
        readFirst(&description, key, value, readText);
}

bool VariableDefinition::link(VariableLink *link) const
{
    link->addr = quint16(address.value);
    link->type = type.valueOr(RegisterLayout::Type::Untyped);
    link->input = input.value;
    link->bitfield = bitfield.value;
    link->hasWordOrder = wordOrder.isPresent();
    link->wordOrder = wordOrder.valueOr(RegisterLayout::WordOrder::ABCD);
    return address.isRead() && !input.isUnreadable() && !bitfield.isUnreadable() && !wordOrder.isUnreadable();
}
