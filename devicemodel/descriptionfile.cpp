#include "descriptionfile.h"

#include "velmordevicemodel.h"

#include <QFile>

#include <algorithm>
#include <iterator>

namespace {

// Indexed by devProto() code.
const char *const protocolNames[] = {"VelmorBUS RTU", "VelmorBUS TCP", "ModBUS RTU", "ModBUS TCP"};

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

void logCritical(const char *text)
{
    qCritical("%s", text);
}

} // namespace

bool DescriptionFile::load(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        logCritical("(VelmorDeviceModel) Unable to open configuration file");
        return false;
    }
    QByteArray text;
    const bool withinLimit = readDescriptionText(file, &text);
    file.close();
    if (!withinLimit) {
        logCritical("(VelmorDeviceModel) Unable to parse configuration file");
        return false;
    }
    // One copy of the text fewer while the parser builds its own.
    const std::string yamlText = text.toStdString();
    text.clear();
    try {
        m_root = YAML::Load(yamlText);
    } catch (const std::exception &) {
        logCritical("(VelmorDeviceModel) Unable to parse configuration file");
        return false;
    }

    const YAML::Node &root = m_root;
    if (!root.IsMap() || !root["protocol"]) {
        logCritical("(VelmorDeviceModel) Device protocol not specified");
        return false;
    }
    const std::string protocolText = scalarString(root["protocol"]);
    const auto known = std::find(std::begin(protocolNames), std::end(protocolNames), protocolText);
    if (known == std::end(protocolNames)) {
        logCritical("(VelmorDeviceModel) Device protocol not supported");
        return false;
    }
    m_protocol = int(known - std::begin(protocolNames));
    return true;
}

int DescriptionFile::protocol() const
{
    return m_protocol;
}

LinkSettings DescriptionFile::linkSettings() const
{
    LinkSettings settings;
    if (m_protocol == VelmorDeviceModel::ModbusTcp) {
        settings.tcpHost = has("host") ? text("host") : QStringLiteral("127.0.0.1");
        settings.tcpPort = intSetting("port", 502);
    } else {
        settings.serialPort = has("port") ? text("port") : QStringLiteral("COM1");
        settings.baudRate = intSetting("baudrate", 115200);
    }
    settings.devId = intSetting("id", 0);
    return settings;
}

bool DescriptionFile::readTuning(LinkSettings *settings) const
{
    return tuningSetting("block", 0, VelmorDeviceModel::MaxBlockRegisters, &settings->blockRegisters)
        && tuningSetting("gap", 0, VelmorDeviceModel::MaxGapRegisters, &settings->gapRegisters)
        && tuningSetting("timeout", VelmorDeviceModel::MinResponseTimeoutMs, VelmorDeviceModel::MaxResponseTimeoutMs,
                         &settings->responseTimeoutMs)
        && tuningSetting("retries", 0, VelmorDeviceModel::MaxRetries, &settings->retries)
        && wordOrderSetting(&settings->wordOrder);
}

bool DescriptionFile::wordOrderSetting(RegisterLayout::WordOrder *order) const
{
    const YAML::Node &root = m_root;
    const YAML::Node node = root["wordorder"];
    if (!node || RegisterLayout::wordOrderFromName(scalarString(node), order))
        return true;
    qCritical("%s", qPrintable(QStringLiteral("(VelmorDeviceModel) Bad value of wordorder field: %1").arg(scalarText(node))));
    return false;
}

bool DescriptionFile::has(const char *key) const
{
    const YAML::Node &root = m_root;
    return root.IsMap() && root[key];
}

QString DescriptionFile::text(const char *key) const
{
    const YAML::Node &root = m_root;
    return root.IsMap() ? scalarText(root[key]) : QString();
}

YAML::Node DescriptionFile::variables() const
{
    const YAML::Node &root = m_root;
    const YAML::Node variables = root.IsMap() ? root["variables"] : YAML::Node(YAML::NodeType::Undefined);
    return variables && variables.IsSequence() ? variables : YAML::Node(YAML::NodeType::Undefined);
}

int DescriptionFile::intSetting(const char *key, int defaultValue) const
{
    const YAML::Node &root = m_root;
    const YAML::Node node = root[key];
    if (!node)
        return defaultValue;
    try {
        if (node.IsScalar())
            return node.as<int>();
    } catch (const YAML::Exception &) {
    }
    qWarning("%s", qPrintable(QStringLiteral("Bad conversion of %1 field, using default (%2)")
                                  .arg(QLatin1String(key)).arg(defaultValue)));
    return defaultValue;
}

bool DescriptionFile::tuningSetting(const char *key, int minimum, int maximum, int *value) const
{
    const YAML::Node &root = m_root;
    const YAML::Node node = root[key];
    if (!node)
        return true;
    // Whole numbers as the other integer keys take them: decimal, 0x hexadecimal, 0 octal.
    int number = 0;
    bool isNumber = false;
    try {
        if (node.IsScalar()) {
            number = node.as<int>();
            isNumber = true;
        }
    } catch (const YAML::Exception &) {
    }
    if (!isNumber || number < minimum || number > maximum) {
        qCritical("%s", qPrintable(QStringLiteral("(VelmorDeviceModel) Bad value of %1 field: %2")
                                       .arg(QLatin1String(key), scalarText(node))));
        return false;
    }
    *value = number;
    return true;
}

std::string DescriptionFile::scalarString(const YAML::Node &node)
{
    return node ? node.Scalar() : std::string();
}

QString DescriptionFile::scalarText(const YAML::Node &node)
{
    return QString::fromStdString(scalarString(node));
}

bool DescriptionFile::readBool(const YAML::Node &entry, const char *key, bool *value)
{
    const YAML::Node node = entry[key];
    *value = false;
    if (!node)
        return true;
    try {
        *value = node.as<bool>();
        return true;
    } catch (const YAML::Exception &) {
        return false;
    }
}

bool DescriptionFile::boolAttribute(const YAML::Node &entry, const char *key)
{
    bool value;
    return readBool(entry, key, &value) && value;
}
