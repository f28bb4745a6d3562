#ifndef VARIABLETABLE_H
#define VARIABLETABLE_H

#include "valueinput.h"
#include "variablelink.h"
#include "variabledefinition.h"

#include <QString>
#include <QVariant>

#include <unordered_map>
#include <vector>

#include <yaml-cpp/yaml.h>

class DescriptionFile;

// The "variables" of a description: the variable table and the store of current values,
// each held as a number of its variable's type; a value never read nor set is the file's
// "value" text, as the file has it. An engineer's edit is kept apart from
// what reads bring in until its write has been answered, so that a read on the wire while
// the engineer types can neither overwrite the value shown nor change what is written.
class VariableTable
{
public:
    // An edit waiting for its write: the pattern the engineer's value makes, and a serial
    // that tells it from a later edit of the same variable.
    struct Edit {
        quint32 pattern = 0;
        quint64 serial = 0;
    };

    // The file's "variables" and the definitions read from them; the file outlives the table.
    void reset(const DescriptionFile &file);

    int count() const;
    // Null for an id outside the table or an entry that is not a mapping.
    YAML::Node variable(unsigned int id) const;
    // "name" of the variable, or '#' and its id when it has none.
    QString label(unsigned int id) const;
    // The attribute's scalar text as written; invalid when the variable or the attribute is
    // absent. For "value" the text of the value held, as a file would carry it.
    QVariant attribute(unsigned int id, const QString &attr) const;
    // "rw" and "bitfield"; false when absent or not a boolean.
    bool isWritable(unsigned int id) const;
    bool isBitfield(unsigned int id) const;

    // False when "addr" is missing or not an integer, or "input"/"bitfield" is not a boolean.
    bool link(unsigned int id, VariableLink *link) const;
    // The held "value" as the 32-bit pattern written to the device; false when it is not a number.
    bool writePattern(unsigned int id, RegisterLayout::Type type, quint32 *pattern) const;

    // Whether the variable holds a value: one read, set, or given by the file.
    bool hasValue(unsigned int id) const;
    // The held value as a number: float for "float32", int otherwise; invalid when it is none.
    QVariant value(unsigned int id) const;
    // The held value as the number its text shows: a bit field unsigned, a float32 with the
    // seven significant digits of its text; 0 when it holds none.
    double number(unsigned int id) const;
    ValueInput::Range valueRange(unsigned int id) const;
    VelmorDeviceModel::ValueCheck checkValue(unsigned int id, const QVariant &value) const;
    // Holds a value the user gave as an edit waiting for its write; false, holding
    // nothing, when checkValue() refuses it.
    bool setValue(unsigned int id, const QVariant &value);
    // The edit the next write of the variable sends; false when none waits.
    bool pendingEdit(unsigned int id, Edit *edit) const;
    // The write of that edit was answered or failed; a later edit still waits.
    void settleEdit(unsigned int id, quint64 serial);
    enum class ReadOutcome {
        Stored,
        // An edit waits for its write: the engineer's value stays.
        HeldBackForEdit,
        // A "type" the model does not know: nothing is held.
        UnknownType
    };
    // Holds a value read from the device as the raw word of its layout, unless an edit waits.
    ReadOutcome storeRawWord(unsigned int id, quint32 rawWord);

private:
    struct Held {
        RegisterLayout::Type type;
        double number;
    };

    // The definition of that id; an empty one (not a mapping) outside the table.
    const VariableDefinition &definition(unsigned int id) const;
    RegisterLayout::Type type(unsigned int id) const;
    ValueInput::Parsed parseInput(unsigned int id, const QVariant &value) const;
    const Held *held(unsigned int id) const;

    YAML::Node m_variables;
    // Read once, when the file was loaded: yaml-cpp's lookups would dominate a fast poll.
    const std::vector<VariableDefinition> *m_definitions = nullptr;
    std::unordered_map<unsigned int, Held> m_held;
    std::unordered_map<unsigned int, Edit> m_edits;
    quint64 m_lastEditSerial = 0;
};

#endif // VARIABLETABLE_H
