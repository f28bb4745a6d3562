#ifndef DESCRIPTIONFILE_H
#define DESCRIPTIONFILE_H

#include "linksettings.h"
#include "protocoltraits.h"
#include "keyfield.h"
#include "variabledefinition.h"

#include <QString>

#include <string>
#include <vector>

#include <yaml-cpp/yaml.h>

// A device description file, parsed once into a typed description: the protocol with its
// traits, the device-level link settings and the variable definitions, each with its place in the
// file. The YAML tree is kept for the texts as written. load() logs refusals with the
// model's texts; parse() only says what it found, for the checker.
class DescriptionFile
{
public:
    enum class Outcome {
        // Also for a protocol that is known but refused (ProtocolTraits::supported).
        Loaded,
        CannotOpen,
        CannotParse,
        NoProtocol,
        UnknownProtocol
    };

    // An optional link tuning key beside "id", with its range and the setting it fills.
    struct TuningKey
    {
        const char *key;
        int minimum;
        int maximum;
        // Read by the Modbus protocols only; the others ignore it.
        bool modbusOnly;
        int LinkSettings::*setting;
    };

    // Why a text could not be parsed: yaml-cpp's syntax message and place, or the
    // failure of the parse itself (memory).
    struct ParseFailure
    {
        bool syntax = false;
        YAML::Mark place = YAML::Mark::null_mark();
        QString message;
    };

    // False, after logging why, when the file cannot be read or parsed, or names no
    // known protocol. The parsed tree is kept when only the protocol is wrong.
    bool load(const QString &fileName);
    // Parses a description text; called once for each DescriptionFile.
    Outcome parse(const std::string &text);
    const ParseFailure &parseFailure() const;

    // Null until a known protocol was found.
    const ProtocolTraits *protocolTraits() const;
    // A devProto() code; -1 until a known protocol was found.
    int protocol() const;
    // "protocol" as written; empty when absent.
    QString protocolName() const;
    // "device", or "Unknown Device" when absent.
    QString deviceName() const;
    // The link settings the file gives, with the defaults for the protocol; logs each
    // integer setting it cannot read.
    LinkSettings linkSettings() const;
    // Adds the optional keys block, gap, timeout, retries and wordorder to settings. False, after
    // logging key and value, when one is not a whole number or out of its range.
    bool readTuning(LinkSettings *settings) const;

    // Serial protocols: adds the optional keys parity, databits and stopbits to settings.
    // False, after logging key and value, when one is not among the values a line takes,
    // so that no link opens with a framing the file did not ask for.
    bool readFraming(LinkSettings *settings) const;

    // The one table of the tuning keys, in the order they are checked.
    static const std::vector<TuningKey> &tuningKeys();

    // The integer keys as read: "port" taken as a number, "baudrate", "id", the tuning
    // keys and the framing's; null for any other key.
    const KeyField<int> *integerSetting(const std::string &key) const;
    const KeyField<RegisterLayout::WordOrder> &wordOrder() const;
    const KeyField<SerialFraming::Parity> &parity() const;

    YAML::Node root() const;
    // "variables", or an undefined node when the file has no such sequence.
    YAML::Node variables() const;
    // One definition for each entry of "variables", in order.
    const std::vector<VariableDefinition> &variableDefinitions() const;

private:
    Outcome read(const QString &fileName);
    void readDescription();
    int intSetting(const KeyField<int> &setting, const char *key, int defaultValue) const;
    // Takes a present key into setting; false, after logging it, when it is not a whole
    // number from minimum to maximum.
    bool readRanged(const KeyField<int> &field, const char *key, int minimum, int maximum, int *setting) const;
    void logBadValue(const char *key) const;
    // The scalar text of a top-level key as written; empty when absent.
    QString writtenText(const char *key) const;

    YAML::Node m_root;
    ParseFailure m_parseFailure;
    const ProtocolTraits *m_protocol = nullptr;
    KeyField<QString> m_protocolName;
    KeyField<QString> m_device;
    KeyField<QString> m_portName;
    KeyField<int> m_portNumber;
    KeyField<int> m_baudRate;
    KeyField<QString> m_host;
    KeyField<int> m_id;
    // By the index of tuningKeys().
    std::vector<KeyField<int>> m_tuning;
    KeyField<RegisterLayout::WordOrder> m_wordOrder;
    KeyField<SerialFraming::Parity> m_parity;
    KeyField<int> m_dataBits;
    KeyField<int> m_stopBits;
    std::vector<VariableDefinition> m_variableDefinitions;
};

#endif // DESCRIPTIONFILE_H
