#ifndef VARIABLEDEFINITION_H
#define VARIABLEDEFINITION_H

#include "registerlayout.h"
#include "keyfield.h"
#include "variablelink.h"

#include <string>

// One entry of "variables" as the device model reads it.
struct VariableDefinition
{
    // False for an entry that is not a mapping: then every field is absent.
    bool isMapping = false;
    YAML::Mark place;
    // Texts as UTF-8, as in the file: short names need no allocation of their own.
    KeyField<std::string> name;
    KeyField<int> address;
    // Present and read whatever its text: a text the model does not know is Type::Unknown.
    KeyField<RegisterLayout::Type> type;
    KeyField<bool> input;
    KeyField<bool> rw;
    KeyField<bool> bitfield;
    KeyField<RegisterLayout::WordOrder> wordOrder;
    KeyField<std::string> description;

    static VariableDefinition fromEntry(const YAML::Node &entry);

    // What the link needs; false when "addr" is missing or not an integer, "input" or
    // "bitfield" is not a boolean, or "wordorder" is not a known name.
    bool link(VariableLink *link) const;

private:
    void readAttribute(const YAML::Node &key, const YAML::Node &value);
};

#endif // VARIABLEDEFINITION_H
