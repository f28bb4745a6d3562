#ifndef DOCUMENTCHECKER_H
#define DOCUMENTCHECKER_H

#include <QString>

#include <string>

class DescriptionFile;
class Findings;
class MappingIndex;
struct ProtocolTraits;

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
    void checkRoot(const DescriptionFile &file);
    void checkProtocol(const DescriptionFile &file, const MappingIndex &keys);
    void checkKeys(const MappingIndex &keys);
    void checkText(const MappingIndex &keys, const char *key);
    void checkNotReadHere(const MappingIndex &keys, const char *key, const QString &readBy);
    void checkLinkSettings(const MappingIndex &keys);
    // Serial protocols: "parity", "databits" and "stopbits".
    void checkFraming(const MappingIndex &keys);
    // False when the key is absent or does not hold a readable number in range.
    bool checkInteger(const MappingIndex &keys, const char *key, int minimum, int maximum,
                      const QString &unreadableOutcome, int *value);
    void checkDeviceAddress(const MappingIndex &keys);
    void checkLinkTuning(const MappingIndex &keys);
    void checkWordOrder(const MappingIndex &keys);
    void checkVariables(const DescriptionFile &file, const MappingIndex &keys);
    // VelmorBUS RTU: the keys of Modbus alone are not read.
    bool isVelmorbus() const;

    Findings *m_findings;
    // The model's reading of the file; set while its root is checked.
    const DescriptionFile *m_file = nullptr;
    // Null for a protocol the model refuses.
    const ProtocolTraits *m_protocol = nullptr;
};

#endif // DOCUMENTCHECKER_H
