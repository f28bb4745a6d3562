#ifndef KEYFIELD_H
#define KEYFIELD_H

#include <QtGlobal>

#include <yaml-cpp/yaml.h>

// One key of a description as read: whether it is there and readable, its value, and
// where in the file it came from. The text as written stays in the YAML tree.
template <typename Value>
struct KeyField
{
    // One byte: a table of 100,000 variables holds eight fields each.
    enum class State : quint8 {
        Absent,
        Read,
        Unreadable
    };

    State state = State::Absent;
    Value value{};
    // The value's place, or its key's when the value is empty or an alias (yaml-cpp marks
    // an empty value where the next token starts, an alias where its anchor stands).
    YAML::Mark place;

    bool isPresent() const { return state != State::Absent; }
    bool isRead() const { return state == State::Read; }
    bool isUnreadable() const { return state == State::Unreadable; }
    // The value, or fallback when the key is absent or unreadable.
    Value valueOr(const Value &fallback) const { return isRead() ? value : fallback; }
};

namespace KeyFields {

// The first text key of that name in the mapping, as yaml-cpp's own lookup finds it, and
// its value; false when there is none.
inline bool find(const YAML::Node &mapping, const char *name, YAML::Node *key, YAML::Node *value)
{
    if (!mapping.IsMap())
        return false;
    for (auto it = mapping.begin(); it != mapping.end(); ++it) {
        const auto entry = *it;
        if (entry.first.IsScalar() && entry.first.Scalar() == name) {
            *key = entry.first;
            *value = entry.second;
            return true;
        }
    }
    return false;
}

// The field of a key and its value: Read when convert takes the value, Unreadable when not.
template <typename Value, typename Convert>
KeyField<Value> field(const YAML::Node &key, const YAML::Node &value, Convert convert)
{
    KeyField<Value> field;
    field.state = convert(value, &field.value) ? KeyField<Value>::State::Read : KeyField<Value>::State::Unreadable;
    field.place = value.IsNull() || value.Mark().pos < key.Mark().pos ? key.Mark() : value.Mark();
    return field;
}

// The field of that key in the mapping; absent when the mapping has no such key.
template <typename Value, typename Convert>
KeyField<Value> read(const YAML::Node &mapping, const char *name, Convert convert)
{
    YAML::Node key;
    YAML::Node value;
    return find(mapping, name, &key, &value) ? field<Value>(key, value, convert) : KeyField<Value>();
}

// Reads the field unless an earlier key of the same name has: the first one counts.
template <typename Value, typename Convert>
void readFirst(KeyField<Value> *target, const YAML::Node &key, const YAML::Node &value, Convert convert)
{
    if (!target->isPresent())
        *target = field<Value>(key, value, convert);
}

} // namespace KeyFields

#endif // KEYFIELD_H
