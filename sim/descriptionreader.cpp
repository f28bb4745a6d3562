#include "descriptionreader.h"

#include <QFile>
#include <QMap>

#include <yaml-cpp/yaml.h>

namespace {

QString scalarText(const YAML::Node &node)
{
    if (!node.IsDefined() || !node.IsScalar())
        return QString();
    return QString::fromStdString(node.Scalar());
}

QString entryName(const SimVariable &variable, int index)
{
    return variable.name.isEmpty() ? QStringLiteral("#%1").arg(index) : variable.name;
}

QString wordOrderRefusal(const QString &text)
{
    return QStringLiteral("\"wordorder\" is \"%1\", not one of %2")
        .arg(text, WordOrder::names().join(QStringLiteral(", ")));
}

} // namespace

bool DescriptionReader::read(const QString &fileName, DeviceDescription *description)
{
    m_errorString.clear();
    m_warnings.clear();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return fail(QStringLiteral("cannot open %1: %2").arg(fileName, file.errorString()));

    YAML::Node root;
    try {
        root = YAML::Load(file.readAll().toStdString());
    } catch (const YAML::Exception &exception) {
        return fail(QStringLiteral("%1 is not valid YAML: %2").arg(fileName, QString::fromStdString(exception.what())));
    }
    if (!root.IsMap())
        return fail(QStringLiteral("%1 does not describe a device: its top level is not a mapping").arg(fileName));
    return readDocument(root, description);
}

bool DescriptionReader::readDocument(const YAML::Node &root, DeviceDescription *description)
{
    description->device = root["device"].IsDefined() ? scalarText(root["device"]) : QStringLiteral("Unknown Device");
    if (!readProtocol(root, description))
        return false;
    readLinkSettings(root, description);
    return readFraming(root, description) && readWordOrder(root, description) && readVariables(root, description)
           && checkOverlaps(*description);
}

// A line that runs on another framing than the file's would pass no frame; the tools
// refuse such a file too.
bool DescriptionReader::readFraming(const YAML::Node &root, DeviceDescription *description)
{
    if (!description->isSerial())
        return true;
    const QVector<QPair<QString, QSerialPort::Parity>> parities {{QStringLiteral("none"), QSerialPort::NoParity},
                                                                 {QStringLiteral("even"), QSerialPort::EvenParity},
                                                                 {QStringLiteral("odd"), QSerialPort::OddParity}};
    const QVector<QPair<QString, QSerialPort::DataBits>> dataBits {{QStringLiteral("7"), QSerialPort::Data7},
                                                                   {QStringLiteral("8"), QSerialPort::Data8}};
    const QVector<QPair<QString, QSerialPort::StopBits>> stopBits {{QStringLiteral("1"), QSerialPort::OneStop},
                                                                   {QStringLiteral("2"), QSerialPort::TwoStop}};
    return readChoice(root, "parity", parities, &description->parity)
           && readChoice(root, "databits", dataBits, &description->dataBits)
           && readChoice(root, "stopbits", stopBits, &description->stopBits);
}

template <typename Setting>
bool DescriptionReader::readChoice(const YAML::Node &root, const char *key,
                                   const QVector<QPair<QString, Setting>> &choices, Setting *setting)
{
    const YAML::Node node = root[key];
    if (!node.IsDefined())
        return true;
    QString text = scalarText(node);
    qlonglong number = 0;
    // Numbers in any of the integer forms the tools take ("0x8", "8 ").
    if (parseInteger(text, &number))
        text = QString::number(number);
    QStringList names;
    for (const QPair<QString, Setting> &choice : choices) {
        if (choice.first == text) {
            *setting = choice.second;
            return true;
        }
        names.append(choice.first);
    }
    return fail(QStringLiteral("\"%1\" is \"%2\", not one of %3")
                    .arg(QLatin1String(key), scalarText(node), names.join(QStringLiteral(", "))));
}

// Velmorbus ignores the order, but the tools refuse a file that names one they do not know.
bool DescriptionReader::readWordOrder(const YAML::Node &root, DeviceDescription *description)
{
    const YAML::Node order = root["wordorder"];
    if (!order.IsDefined() || WordOrder::fromName(scalarText(order), &description->wordOrder))
        return true;
    return fail(wordOrderRefusal(scalarText(order)));
}

bool DescriptionReader::readProtocol(const YAML::Node &root, DeviceDescription *description)
{
    if (!root["protocol"].IsDefined())
        return fail(QStringLiteral("the file names no \"protocol\""));
    description->protocolName = scalarText(root["protocol"]);
    if (description->protocolName == QLatin1String("VelmorBUS RTU"))
        description->protocol = DeviceDescription::VelmorbusRtu;
    else if (description->protocolName == QLatin1String("ModBUS RTU"))
        description->protocol = DeviceDescription::ModbusRtu;
    else if (description->protocolName == QLatin1String("ModBUS TCP"))
        description->protocol = DeviceDescription::ModbusTcp;
    else
        return fail(QStringLiteral("protocol \"%1\" cannot be simulated (known: \"VelmorBUS RTU\", "
                                   "\"ModBUS RTU\", \"ModBUS TCP\")").arg(description->protocolName));
    return true;
}

void DescriptionReader::readLinkSettings(const YAML::Node &root, DeviceDescription *description)
{
    if (description->isSerial()) {
        if (root["port"].IsDefined())
            description->serialPort = scalarText(root["port"]);
        description->baudRate = integerSetting(root, "baudrate", 115200);
    } else {
        if (root["host"].IsDefined())
            description->tcpHost = scalarText(root["host"]);
        description->tcpPort = integerSetting(root, "port", 502);
    }
    description->id = integerSetting(root, "id", 0);
}

bool DescriptionReader::readVariables(const YAML::Node &root, DeviceDescription *description)
{
    const YAML::Node variables = root["variables"];
    if (!variables.IsDefined() || !variables.IsSequence())
        return fail(QStringLiteral("the file has no \"variables\" sequence"));
    description->variables.clear();
    for (std::size_t i = 0; i < variables.size(); ++i) {
        SimVariable variable;
        variable.wordOrder = description->wordOrder;
        if (!readVariable(variables[i], int(i), &variable))
            return false;
        description->variables.append(variable);
    }
    return true;
}

bool DescriptionReader::readVariable(const YAML::Node &entry, int index, SimVariable *variable)
{
    if (!entry.IsMap())
        return fail(QStringLiteral("variable #%1 is not a mapping").arg(index));
    variable->name = scalarText(entry["name"]);
    variable->desc = scalarText(entry["desc"]);
    variable->type = scalarText(entry["type"]);

    qlonglong addr = 0;
    if (!parseInteger(scalarText(entry["addr"]), &addr))
        return fail(QStringLiteral("variable %1 has no integer \"addr\"").arg(entryName(*variable, index)));
    // The tools send the low 16 bits of the address.
    variable->addr = quint16(addr);

    if (!readFlag(entry, "input", index, &variable->input) || !readFlag(entry, "rw", index, &variable->rw)
        || !readFlag(entry, "bitfield", index, &variable->bitfield))
        return false;
    const YAML::Node order = entry["wordorder"];
    if (order.IsDefined() && !WordOrder::fromName(scalarText(order), &variable->wordOrder))
        return fail(QStringLiteral("variable %1: %2")
                        .arg(entryName(*variable, index), wordOrderRefusal(scalarText(order))));

    if (entry["value"].IsDefined()) {
        const QString text = scalarText(entry["value"]).trimmed();
        qlonglong integer = 0;
        bool isNumber = false;
        if (parseInteger(text, &integer)) {
            variable->value = double(integer);
            isNumber = true;
        } else {
            variable->value = text.toDouble(&isNumber);
        }
        if (!isNumber)
            return fail(QStringLiteral("variable %1 has a \"value\" that is not a number").arg(entryName(*variable, index)));
    }
    return true;
}

bool DescriptionReader::readFlag(const YAML::Node &entry, const char *key, int index, bool *flag)
{
    if (!entry[key].IsDefined())
        return true;
    if (parseBoolean(scalarText(entry[key]), flag))
        return true;
    return fail(QStringLiteral("variable #%1: \"%2\" is not a boolean").arg(index).arg(QLatin1String(key)));
}

// Two Modbus variables sharing a register could not both read back what was written.
bool DescriptionReader::checkOverlaps(const DeviceDescription &description)
{
    if (!description.isModbus())
        return true;
    QMap<int, int> holders[2];
    for (int i = 0; i < description.variables.size(); ++i) {
        const SimVariable &variable = description.variables.at(i);
        QMap<int, int> &holder = holders[variable.input ? 1 : 0];
        for (int r = 0; r < variable.registerCount(); ++r) {
            const int reg = variable.addr + r;
            if (holder.contains(reg)) {
                const int other = holder.value(reg);
                return fail(QStringLiteral("variables %1 and %2 overlap at register %3")
                                .arg(entryName(description.variables.at(other), other), entryName(variable, i))
                                .arg(reg));
            }
            holder.insert(reg, i);
        }
    }
    return true;
}

int DescriptionReader::integerSetting(const YAML::Node &root, const char *key, int defaultValue)
{
    if (!root[key].IsDefined())
        return defaultValue;
    qlonglong value = 0;
    if (parseInteger(scalarText(root[key]), &value))
        return int(value);
    m_warnings.append(QStringLiteral("\"%1\" is not an integer, using %2").arg(QLatin1String(key)).arg(defaultValue));
    return defaultValue;
}

bool DescriptionReader::parseInteger(const QString &text, qlonglong *value)
{
    QString digits = text;
    while (digits.endsWith(QLatin1Char(' ')) || digits.endsWith(QLatin1Char('\t')))
        digits.chop(1);
    if (digits.isEmpty() || digits.at(0).isSpace())
        return false;
    bool ok = false;
    const qlonglong parsed = digits.toLongLong(&ok, 0);
    if (ok)
        *value = parsed;
    return ok;
}

bool DescriptionReader::parseBoolean(const QString &text, bool *value)
{
    static const QStringList trueWords = { "y", "yes", "true", "on" };
    static const QStringList falseWords = { "n", "no", "false", "off" };
    const QString lower = text.toLower();
    const bool writtenAsWord = text == lower || text == lower.toUpper()
        || text == lower.left(1).toUpper() + lower.mid(1);
    if (!writtenAsWord)
        return false;
    if (trueWords.contains(lower))
        *value = true;
    else if (falseWords.contains(lower))
        *value = false;
    else
        return false;
    return true;
}

bool DescriptionReader::fail(const QString &message)
{
    m_errorString = message;
    return false;
}
