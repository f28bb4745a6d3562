#ifndef VARIABLESPEC_H
#define VARIABLESPEC_H

#include "registerlayout.h"
#include "specfield.h"
#include "variablelink.h"

#include <string>

// One entry of "variables" as the device model reads it.
struct VariableSpec
{
    // False for an entry that is not a mapping: then every field is absent.
    bool isMapping = false;
    YAML::Mark place;
    // Texts as UTF-8, as in the file: short names need no allocation of their own.
    SpecField<std::string> name;
    SpecField<int> address;
    // Present and read whatever its text: a text the model does not know is Type::Unknown.
    SpecField<RegisterLayout::Type> type;
    SpecField<bool> input;
    SpecField<bool> rw;
    SpecField<bool> bitfield;
    SpecField<RegisterLayout::WordOrder> wordOrder;
    SpecField<std::string> description;

    static VariableSpec fromEntry(const YAML::Node &entry);

    // What the link needs; false when "addr" is missing or not an integer, "input" or
    // "bitfield" is not a boolean, or "wordorder" is not a known name.
    bool link(VariableLink *link) const;

private:
    void readAttribute(const YAML::Node &key, const YAML::Node &value);
};

#endif // VARIABLESPEC_H
