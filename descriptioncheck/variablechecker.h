#ifndef VARIABLECHECKER_H
#define VARIABLECHECKER_H

#include "mappingindex.h"
#include "variabledefinition.h"

#include <QHash>
#include <QString>

#include <vector>

class Findings;
struct ProtocolTraits;

// Checks the entries of "variables" as the model read them into definitions: each attribute
// alone, then what entries share (names, Modbus registers).
class VariableChecker
{
public:
    // protocol: null for one the model refuses.
    VariableChecker(const ProtocolTraits *protocol, Findings *findings);

    // definitions: the model's reading of the entries, one for each.
    void check(const YAML::Node &variables, const std::vector<VariableDefinition> &definitions);

private:
    using Type = RegisterLayout::Type;

    void checkEntry(const YAML::Node &entry, const VariableDefinition &definition, int id);
    void checkKeys(const MappingIndex &attributes);
    void checkText(const MappingIndex &attributes, const char *key);
    Type checkType(const MappingIndex &attributes, const VariableDefinition &definition);
    // The flag's value; false when it is absent or not a boolean.
    bool checkFlag(const MappingIndex &attributes, const KeyField<bool> &flag, const char *key);
    // velmor-tool's menus read "rw" and "bitfield" as plain text, where only an empty
    // text, 0 and false count as false.
    void checkFlagAsTheToolReadsIt(const MappingIndex &attributes, const char *key);
    void checkInputHasEffect(const MappingIndex &attributes);
    void checkWordOrder(const MappingIndex &attributes, const VariableDefinition &definition);
    bool checkAddr(const MappingIndex &attributes, const VariableDefinition &definition, int *addr);
    bool isModbus() const;
    void checkValue(const MappingIndex &attributes, Type type, bool bitfield);
    void checkIntegerValue(const MappingIndex::Entry &value, Type type, bool bitfield);
    void checkName(const MappingIndex &attributes);
    void checkRegisters(const MappingIndex &attributes, Type type, bool input, int addr);

    const ProtocolTraits *m_protocol;
    Findings *m_findings;
    // Line of the first variable of each name.
    QHash<QString, int> m_nameLines;
    // Line of the variable that first took each register, holding and input apart.
    QHash<int, int> m_holdingRegisterLines;
    QHash<int, int> m_inputRegisterLines;
};

#endif // VARIABLECHECKER_H
