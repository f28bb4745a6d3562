#ifndef VARIABLETABLE_H
#define VARIABLETABLE_H

#include "variablelink.h"

#include <QString>
#include <QVariant>

#include <vector>

#include <yaml-cpp/yaml.h>

// The "variables" of a description: the variable table and the store of current values,
// which are held as the texts the file would carry.
class VariableTable
{
public:
    void reset(const YAML::Node &variables);

    int count() const;
    // Null for an id outside the table or an entry that is not a mapping.
    YAML::Node variable(unsigned int id) const;
    // "name" of the variable, or '#' and its id when it has none.
    QString label(unsigned int id) const;
    // The attribute's scalar text; invalid when the variable or the attribute is absent.
    QVariant attribute(unsigned int id, const QString &attr) const;
    bool boolAttribute(unsigned int id, const char *key) const;

    // False when "addr" is missing or not an integer, or "input"/"bitfield" is not a boolean.
    bool link(unsigned int id, VariableLink *link) const;
    // The held "value" as the 32-bit pattern written to the device; false when it is not a number.
    bool writePattern(unsigned int id, RegisterLayout::Type type, quint32 *pattern) const;

    // The held value as a number: float for "float32", int otherwise; invalid when it is none.
    QVariant value(unsigned int id) const;
    // Holds a value the user gave; false, holding nothing, when it does not convert.
    bool setValue(unsigned int id, const QVariant &value);
    // Holds a value read from the device as the raw word of its layout.
    void storeRawWord(unsigned int id, quint32 rawWord);

private:
    struct CachedLink {
        enum State {
            Unread,
            Usable,
            Unusable
        };

        State state = Unread;
        VariableLink link;
    };

    bool parseLink(unsigned int id, VariableLink *link) const;

    YAML::Node m_variables;
    // link() results by variable id, filled as the link needs them.
    mutable std::vector<CachedLink> m_linkCache;
};

#endif // VARIABLETABLE_H
