#ifndef DESCRIPTIONCHECKER_H
#define DESCRIPTIONCHECKER_H

#include "diagnostic.h"
#include "findings.h"
#include "keycatalog.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <string>

class MappingIndex;

namespace YAML {
class Node;
}

// Reads a device description file as the device model does and reports every problem
// the model would stumble over or silently work around, each at its line and column.
// It never changes how the model reads a file: it is a separate, stricter reading.
class DescriptionChecker
{
public:
    // The findings in file order; an empty list for a clean file.
    static QVector<Diagnostic> checkFile(const QString &fileName);
    static QVector<Diagnostic> checkText(const QByteArray &text);

private:
    void checkDocument(const std::string &text);
    void checkCharacters(const std::string &text);
    void checkLaterDocuments(const std::string &text);
    void checkRoot(const YAML::Node &root);
    void checkProtocol(const YAML::Node &root, const MappingIndex &keys);
    void checkKeys(const MappingIndex &keys);
    void checkText(const MappingIndex &keys, const char *key);
    void checkNotReadHere(const MappingIndex &keys, const char *key, const QString &readBy);
    void checkLinkSettings(const MappingIndex &keys);
    // False when the key is absent or does not hold a readable number in range.
    bool checkInteger(const MappingIndex &keys, const char *key, int minimum, int maximum,
                      const QString &unreadableOutcome, int *value);
    void checkDeviceAddress(const MappingIndex &keys);
    void checkLinkTuning(const MappingIndex &keys);
    void checkVariables(const YAML::Node &root, const MappingIndex &keys);

    Findings m_findings;
    KeyCatalog::Protocol m_protocol = KeyCatalog::Protocol::Unknown;
};

#endif // DESCRIPTIONCHECKER_H
