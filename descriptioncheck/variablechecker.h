#ifndef VARIABLECHECKER_H
#define VARIABLECHECKER_H

#include "keycatalog.h"
#include "mappingindex.h"

#include <QHash>
#include <QString>

class Findings;

// Checks the entries of "variables": each attribute alone, then what entries share
// (names, Modbus registers).
class VariableChecker
{
public:
    VariableChecker(KeyCatalog::Protocol protocol, Findings *findings);

    void check(const YAML::Node &variables);

private:
    enum class Type {
        Untyped,
        Int16,
        Int32,
        Float32,
        Unknown
    };

    void checkEntry(const YAML::Node &entry, int id);
    void checkKeys(const MappingIndex &attributes);
    void checkText(const MappingIndex &attributes, const char *key);
    Type checkType(const MappingIndex &attributes);
    // The flag's value; false when it is absent or not a boolean.
    bool checkFlag(const MappingIndex &attributes, const char *key);
    // velmor-tool's menus read "rw" and "bitfield" as plain text, where only an empty
    // text, 0 and false count as false.
    void checkFlagAsTheToolReadsIt(const MappingIndex &attributes, const char *key);
    void checkInputHasEffect(const MappingIndex &attributes);
    void checkWordOrder(const MappingIndex &attributes);
    bool checkAddr(const MappingIndex &attributes, const YAML::Node &entry, Type type, int *addr);
    void checkValue(const MappingIndex &attributes, Type type, bool bitfield);
    void checkIntegerValue(const MappingIndex::Entry &value, Type type, bool bitfield);
    void checkName(const MappingIndex &attributes);
    void checkRegisters(const MappingIndex &attributes, Type type, bool input, int addr);

    KeyCatalog::Protocol m_protocol;
    Findings *m_findings;
    // Line of the first variable of each name.
    QHash<QString, int> m_nameLines;
    // Line of the variable that first took each register, holding and input apart.
    QHash<int, int> m_holdingRegisterLines;
    QHash<int, int> m_inputRegisterLines;
};

#endif // VARIABLECHECKER_H
