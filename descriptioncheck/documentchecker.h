#ifndef DOCUMENTCHECKER_H
#define DOCUMENTCHECKER_H

#include "keycatalog.h"

#include <string>

class Findings;
class MappingIndex;

namespace YAML {
class Node;
}

// The checks of one description text, from the YAML syntax down to the variables.
class DocumentChecker
{
public:
    explicit DocumentChecker(Findings *findings);

    void check(const std::string &text);

private:
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
    void checkWordOrder(const MappingIndex &keys);
    void checkVariables(const YAML::Node &root, const MappingIndex &keys);

    Findings *m_findings;
    KeyCatalog::Protocol m_protocol = KeyCatalog::Protocol::Unknown;
};

#endif // DOCUMENTCHECKER_H
