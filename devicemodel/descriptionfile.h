#ifndef DESCRIPTIONFILE_H
#define DESCRIPTIONFILE_H

#include "linksettings.h"

#include <QString>

#include <string>

#include <yaml-cpp/yaml.h>

// A device description file: the bounded read, the parse, the protocol and the
// device-level link settings. Refusals are logged with the model's texts.
class DescriptionFile
{
public:
    // False, after logging why, when the file cannot be read or parsed, or names no
    // known protocol. The parsed tree is kept when only the protocol is wrong.
    bool load(const QString &fileName);

    // A devProto() code; -1 until load() has found a known protocol.
    int protocol() const;
    // The link settings the file gives, with the defaults for the protocol.
    LinkSettings linkSettings() const;
    // Adds the optional keys block, gap, timeout, retries and wordorder to settings. False, after
    // logging key and value, when one is not a whole number or out of its range.
    bool readTuning(LinkSettings *settings) const;
    // The scalar text of a top-level key; empty when absent.
    QString text(const char *key) const;
    bool has(const char *key) const;
    // "variables", or an undefined node when the file has no such sequence.
    YAML::Node variables() const;

    // Empty for an absent key (whose node refuses Scalar()) and for a node that is not a scalar.
    static std::string scalarString(const YAML::Node &node);
    static QString scalarText(const YAML::Node &node);
    // A YAML boolean ("y", "yes", "true", "on", ... in three letter cases); absent reads as false.
    static bool readBool(const YAML::Node &entry, const char *key, bool *value);
    // The boolean, or false when it is absent or unreadable.
    static bool boolAttribute(const YAML::Node &entry, const char *key);

private:
    int intSetting(const char *key, int defaultValue) const;
    bool tuningSetting(const char *key, int minimum, int maximum, int *value) const;
    bool wordOrderSetting(RegisterLayout::WordOrder *order) const;

    YAML::Node m_root;
    int m_protocol = -1;
};

#endif // DESCRIPTIONFILE_H
