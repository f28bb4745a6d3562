#ifndef DESCRIPTIONREADER_H
#define DESCRIPTIONREADER_H

#include "devicedescription.h"

#include <QString>
#include <QPair>
#include <QStringList>
#include <QVector>

namespace YAML {
class Node;
}

// Reads a device description file into what the simulator serves. Refuses, with a
// message for the user, anything it could not serve faithfully. It stays apart from the
// device model's reader (velmordescription) on purpose: the simulator is the model's test
// oracle, and a mistake shared by both readings would go unseen.
class DescriptionReader
{
public:
    bool read(const QString &fileName, DeviceDescription *description);

    QString errorString() const { return m_errorString; }
    // Settings that were unreadable and replaced by their defaults.
    QStringList warnings() const { return m_warnings; }

    // Integer scalar as the tools read it: optional sign, "0x" hexadecimal, leading 0
    // octal, trailing blanks allowed.
    static bool parseInteger(const QString &text, qlonglong *value);
    static bool parseBoolean(const QString &text, bool *value);

private:
    bool readDocument(const YAML::Node &root, DeviceDescription *description);
    bool readProtocol(const YAML::Node &root, DeviceDescription *description);
    void readLinkSettings(const YAML::Node &root, DeviceDescription *description);
    bool readWordOrder(const YAML::Node &root, DeviceDescription *description);
    bool readFraming(const YAML::Node &root, DeviceDescription *description);
    // The key's value among the choices, each a text with its setting; true when absent.
    template <typename Setting>
    bool readChoice(const YAML::Node &root, const char *key, const QVector<QPair<QString, Setting>> &choices,
                    Setting *setting);
    bool readVariables(const YAML::Node &root, DeviceDescription *description);
    bool readVariable(const YAML::Node &entry, int index, SimVariable *variable);
    bool readFlag(const YAML::Node &entry, const char *key, int index, bool *flag);
    bool checkOverlaps(const DeviceDescription &description);
    int integerSetting(const YAML::Node &root, const char *key, int defaultValue);
    bool fail(const QString &message);

    QString m_errorString;
    QStringList m_warnings;
};

#endif // DESCRIPTIONREADER_H
