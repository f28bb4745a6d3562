#ifndef SPECFIELD_H
#define SPECFIELD_H

#include <QString>

#include <type_traits>

#include <yaml-cpp/yaml.h>

// One key of a description as read: whether it is there and readable, its value, its text
// as written, and where in the file it came from.
template <typename Value>
struct SpecField
{
    enum class State {
        Absent,
        Read,
        Unreadable
    };

    State state = State::Absent;
    Value value{};
    QString text;
    // The value's place, or its key's when the value is empty or an alias (yaml-cpp marks
    // an empty value where the next token starts, an alias where its anchor stands).
    YAML::Mark place;

    bool isPresent() const { return state != State::Absent; }
    bool isRead() const { return state == State::Read; }
    bool isUnreadable() const { return state == State::Unreadable; }
    // The value, or fallback when the key is absent or unreadable.
    Value valueOr(const Value &fallback) const { return isRead() ? value : fallback; }
};

namespace SpecReading {

// The first text key of that name in the mapping, as yaml-cpp's own lookup finds it, and
// its value; false when there is none.
inline bool find(const YAML::Node &mapping, const char *name, YAML::Node *key, YAML::Node *value)
{
    if (!mapping.IsMap())
        return false;
    for (auto it = mapping.begin(); it != mapping.end(); ++it) {
        if (it->first.IsScalar() && it->first.Scalar() == name) {
            *key = it->first;
            *value = it->second;
            return true;
        }
    }
    return false;
}

// The field of that key in the mapping: Read when convert takes the value, Unreadable when not.
template <typename Value, typename Convert>
SpecField<Value> read(const YAML::Node &mapping, const char *name, Convert convert)
{
    SpecField<Value> field;
    YAML::Node key;
    YAML::Node value;
    if (!find(mapping, name, &key, &value))
        return field;
    field.state = convert(value, &field.value) ? SpecField<Value>::State::Read : SpecField<Value>::State::Unreadable;
    // A text field shares its value's string: a large table holds each name once.
    if constexpr (std::is_same<Value, QString>::value)
        field.text = field.value;
    else
        field.text = value.IsScalar() ? QString::fromStdString(value.Scalar()) : QString();
    field.place = value.IsNull() || value.Mark().pos < key.Mark().pos ? key.Mark() : value.Mark();
    return field;
}

} // namespace SpecReading

#endif // SPECFIELD_H
