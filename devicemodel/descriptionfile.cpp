#include "descriptionfile.h"

#include "descriptionscalar.h"
#include "velmordevicemodel.h"

#include <QFile>

namespace {

// Larger description files are refused before parsing: 100,000 variables take 7.4 MiB, and
// yaml-cpp needs up to 240 times a file's size in memory (1.9 GiB at this limit).
const qint64 maxDescriptionFileBytes = 8 * 1024 * 1024;

// False when the file holds more than the limit. Devices and pipes report no size and
// may never end, so they are read piecewise up to the limit.
bool readDescriptionText(QFile &file, QByteArray *text)
{
    if (!file.isSequential()) {
        if (file.size() > maxDescriptionFileBytes)
            return false;
        *text = file.readAll();
        return text->size() <= maxDescriptionFileBytes;
    }
    const qint64 chunkBytes = 64 * 1024;
    for (QByteArray chunk = file.read(chunkBytes); !chunk.isEmpty(); chunk = file.read(chunkBytes)) {
        text->append(chunk);
        if (text->size() > maxDescriptionFileBytes)
            return false;
    }
    return true;
}

const char *refusalText(DescriptionFile::Outcome outcome)
{
    switch (outcome) {
    case DescriptionFile::Outcome::CannotOpen:
        return "(VelmorDeviceModel) Unable to open configuration file";
    case DescriptionFile::Outcome::CannotParse:
        return "(VelmorDeviceModel) Unable to parse configuration file";
    case DescriptionFile::Outcome::NoProtocol:
        return "(VelmorDeviceModel) Device protocol not specified";
    case DescriptionFile::Outcome::UnknownProtocol:
        return "(VelmorDeviceModel) Device protocol not supported";
    case DescriptionFile::Outcome::Loaded:
        break;
    }
    return nullptr;
}

bool readText(const YAML::Node &node, QString *text)
{
    *text = DescriptionScalar::scalarText(node);
    return true;
}

} // namespace

bool DescriptionFile::load(const QString &fileName)
{
    const Outcome outcome = read(fileName);
    if (outcome == Outcome::Loaded)
        return true;
    qCritical("%s", refusalText(outcome));
    return false;
}

DescriptionFile::Outcome DescriptionFile::read(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return Outcome::CannotOpen;
    QByteArray text;
    const bool withinLimit = readDescriptionText(file, &text);
    file.close();
    if (!withinLimit)
        return Outcome::CannotParse;
    // One copy of the text fewer while the parser builds its own.
    const std::string yamlText = text.toStdString();
    text.clear();
    return parse(yamlText);
}

DescriptionFile::Outcome DescriptionFile::parse(const std::string &text)
{
    try {
        m_root = YAML::Load(text);
    } catch (const YAML::Exception &exception) {
        m_parseFailure = {true, exception.mark, QString::fromStdString(exception.msg)};
        return Outcome::CannotParse;
    } catch (const std::exception &exception) {
        m_parseFailure = {false, YAML::Mark::null_mark(), QString::fromLocal8Bit(exception.what())};
        return Outcome::CannotParse;
    }
    readDescription();
    if (!m_protocolName.isPresent())
        return Outcome::NoProtocol;
    return m_protocol ? Outcome::Loaded : Outcome::UnknownProtocol;
}

const DescriptionFile::ParseFailure &DescriptionFile::parseFailure() const
{
    return m_parseFailure;
}

void DescriptionFile::readDescription()
{
    const YAML::Node &root = m_root;
    m_protocolName = KeyFields::read<QString>(root, "protocol", readText);
    m_protocol = ProtocolTraits::named(m_protocolName.value.toStdString());
    m_device = KeyFields::read<QString>(root, "device", readText);
    m_portName = KeyFields::read<QString>(root, "port", readText);
    m_portNumber = KeyFields::read<int>(root, "port", DescriptionScalar::readInt);
    m_baudRate = KeyFields::read<int>(root, "baudrate", DescriptionScalar::readInt);
    m_host = KeyFields::read<QString>(root, "host", readText);
    m_id = KeyFields::read<int>(root, "id", DescriptionScalar::readInt);
    for (const TuningKey &tuning : tuningKeys())
        m_tuning.push_back(KeyFields::read<int>(root, tuning.key, DescriptionScalar::readInt));
    m_wordOrder = KeyFields::read<RegisterLayout::WordOrder>(root, "wordorder", DescriptionScalar::readWordOrder);
    m_parity = KeyFields::read<SerialFraming::Parity>(root, "parity", DescriptionScalar::readParity);
    m_dataBits = KeyFields::read<int>(root, "databits", DescriptionScalar::readInt);
    m_stopBits = KeyFields::read<int>(root, "stopbits", DescriptionScalar::readInt);
    const YAML::Node entries = variables();
    m_variableDefinitions.reserve(entries.size());
    for (auto it = entries.begin(); it != entries.end(); ++it)
        m_variableDefinitions.push_back(VariableDefinition::fromEntry(*it));
}

const ProtocolTraits *DescriptionFile::protocolTraits() const
{
    return m_protocol;
}

int DescriptionFile::protocol() const
{
    return m_protocol ? m_protocol->code : VelmorDeviceModel::UnknownProtocol;
}

QString DescriptionFile::protocolName() const
{
    return m_protocolName.value;
}

QString DescriptionFile::deviceName() const
{
    return m_device.isPresent() ? m_device.value : QStringLiteral("Unknown Device");
}

LinkSettings DescriptionFile::linkSettings() const
{
    LinkSettings settings;
    if (m_protocol->isSerial()) {
        settings.serialPort = m_portName.valueOr(QString::fromLatin1(m_protocol->defaultSerialPort));
        settings.baudRate = intSetting(m_baudRate, "baudrate", m_protocol->defaultBaudRate);
    } else {
        settings.tcpHost = m_host.valueOr(QString::fromLatin1(m_protocol->defaultHost));
        settings.tcpPort = intSetting(m_portNumber, "port", m_protocol->defaultTcpPort);
    }
    settings.devId = intSetting(m_id, "id", 0);
    return settings;
}

const std::vector<DescriptionFile::TuningKey> &DescriptionFile::tuningKeys()
{
    static const std::vector<TuningKey> keys = {
        {"block", 0, VelmorDeviceModel::MaxBlockRegisters, true, &LinkSettings::blockRegisters},
        {"gap", 0, VelmorDeviceModel::MaxGapRegisters, true, &LinkSettings::gapRegisters},
        {"timeout", VelmorDeviceModel::MinResponseTimeoutMs, VelmorDeviceModel::MaxResponseTimeoutMs, false,
         &LinkSettings::responseTimeoutMs},
        {"retries", 0, VelmorDeviceModel::MaxRetries, true, &LinkSettings::retries},
    };
    return keys;
}

bool DescriptionFile::readTuning(LinkSettings *settings) const
{
    for (std::size_t index = 0; index < tuningKeys().size(); ++index) {
        const TuningKey &tuning = tuningKeys().at(index);
        if (!readRanged(m_tuning.at(index), tuning.key, tuning.minimum, tuning.maximum, &(settings->*tuning.setting)))
            return false;
    }
    if (m_wordOrder.isUnreadable()) {
        logBadValue("wordorder");
        return false;
    }
    settings->wordOrder = m_wordOrder.valueOr(settings->wordOrder);
    return true;
}

bool DescriptionFile::readFraming(LinkSettings *settings) const
{
    if (!m_protocol->isSerial())
        return true;
    SerialFraming &framing = settings->framing;
    if (!readRanged(m_dataBits, "databits", SerialFraming::MinDataBits, SerialFraming::MaxDataBits, &framing.dataBits)
        || !readRanged(m_stopBits, "stopbits", SerialFraming::MinStopBits, SerialFraming::MaxStopBits,
                       &framing.stopBits))
        return false;
    if (m_parity.isUnreadable()) {
        logBadValue("parity");
        return false;
    }
    framing.parity = m_parity.valueOr(framing.parity);
    return true;
}

bool DescriptionFile::readRanged(const KeyField<int> &field, const char *key, int minimum, int maximum,
                                 int *setting) const
{
    if (!field.isPresent())
        return true;
    if (!field.isRead() || field.value < minimum || field.value > maximum) {
        logBadValue(key);
        return false;
    }
    *setting = field.value;
    return true;
}

void DescriptionFile::logBadValue(const char *key) const
{
    qCritical("%s", qPrintable(QStringLiteral("(VelmorDeviceModel) Bad value of %1 field: %2")
                                   .arg(QLatin1String(key), writtenText(key))));
}

const KeyField<int> *DescriptionFile::integerSetting(const std::string &key) const
{
    if (key == "port")
        return &m_portNumber;
    if (key == "baudrate")
        return &m_baudRate;
    if (key == "id")
        return &m_id;
    if (key == "databits")
        return &m_dataBits;
    if (key == "stopbits")
        return &m_stopBits;
    for (std::size_t index = 0; index < tuningKeys().size(); ++index) {
        if (key == tuningKeys().at(index).key)
            return &m_tuning.at(index);
    }
    return nullptr;
}

const KeyField<RegisterLayout::WordOrder> &DescriptionFile::wordOrder() const
{
    return m_wordOrder;
}

const KeyField<SerialFraming::Parity> &DescriptionFile::parity() const
{
    return m_parity;
}

YAML::Node DescriptionFile::root() const
{
    return m_root;
}

YAML::Node DescriptionFile::variables() const
{
    const YAML::Node &root = m_root;
    const YAML::Node variables = root.IsMap() ? root["variables"] : YAML::Node(YAML::NodeType::Undefined);
    return variables && variables.IsSequence() ? variables : YAML::Node(YAML::NodeType::Undefined);
}

const std::vector<VariableDefinition> &DescriptionFile::variableDefinitions() const
{
    return m_variableDefinitions;
}

QString DescriptionFile::writtenText(const char *key) const
{
    const YAML::Node &root = m_root;
    return DescriptionScalar::scalarText(root[key]);
}

int DescriptionFile::intSetting(const KeyField<int> &setting, const char *key, int defaultValue) const
{
    if (setting.isUnreadable())
        qWarning("%s", qPrintable(QStringLiteral("Bad conversion of %1 field, using default (%2)")
                                      .arg(QLatin1String(key)).arg(defaultValue)));
    return setting.valueOr(defaultValue);
}
