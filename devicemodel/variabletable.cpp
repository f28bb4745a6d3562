#include "variabletable.h"

#include "descriptionfile.h"

#include <limits>

void VariableTable::reset(const YAML::Node &variables)
{
    m_variables.reset(variables);
    m_linkCache.clear();
    m_held.clear();
    m_edits.clear();
}

int VariableTable::count() const
{
    return m_variables.IsSequence() ? int(m_variables.size()) : 0;
}

YAML::Node VariableTable::variable(unsigned int id) const
{
    if (id >= unsigned(count()))
        return YAML::Node(YAML::NodeType::Undefined);
    const YAML::Node &table = m_variables;
    const YAML::Node entry = table[id];
    return entry.IsMap() ? entry : YAML::Node(YAML::NodeType::Undefined);
}

QString VariableTable::label(unsigned int id) const
{
    const YAML::Node entry = variable(id);
    if (entry && entry["name"])
        return DescriptionFile::scalarText(entry["name"]);
    return QStringLiteral("#%1").arg(id);
}

QVariant VariableTable::attribute(unsigned int id, const QString &attr) const
{
    const YAML::Node entry = variable(id);
    if (!entry)
        return QVariant();
    const Held *value = attr == QLatin1String("value") ? held(id) : nullptr;
    if (value)
        return QString::fromStdString(RegisterLayout::heldText(value->type, value->number));
    const YAML::Node node = entry[attr.toUtf8().toStdString()];
    if (!node)
        return QVariant();
    return DescriptionFile::scalarText(node);
}

bool VariableTable::boolAttribute(unsigned int id, const char *key) const
{
    return DescriptionFile::boolAttribute(variable(id), key);
}

bool VariableTable::link(unsigned int id, VariableLink *link) const
{
    if (id >= unsigned(count()))
        return false;
    // Only "value" changes after construction, so each description is parsed once, when
    // the link first needs it; yaml-cpp's lookups would otherwise dominate a fast poll.
    if (m_linkCache.empty())
        m_linkCache.resize(size_t(count()));
    CachedLink &cached = m_linkCache[id];
    if (cached.state == CachedLink::Unread)
        cached.state = parseLink(id, &cached.link) ? CachedLink::Usable : CachedLink::Unusable;
    *link = cached.link;
    return cached.state == CachedLink::Usable;
}

bool VariableTable::parseLink(unsigned int id, VariableLink *link) const
{
    const YAML::Node entry = variable(id);
    if (!entry)
        return false;
    try {
        link->addr = quint16(entry["addr"].as<int>());
    } catch (const YAML::Exception &) {
        return false;
    }
    const YAML::Node typeNode = entry["type"];
    const std::string typeText = DescriptionFile::scalarString(typeNode);
    link->type = RegisterLayout::typeFromText(typeNode ? &typeText : nullptr);
    const YAML::Node orderNode = entry["wordorder"];
    link->hasWordOrder = bool(orderNode);
    if (orderNode && !RegisterLayout::wordOrderFromName(DescriptionFile::scalarString(orderNode), &link->wordOrder))
        return false;
    return DescriptionFile::readBool(entry, "input", &link->input)
           && DescriptionFile::readBool(entry, "bitfield", &link->bitfield);
}

bool VariableTable::writePattern(unsigned int id, RegisterLayout::Type type, quint32 *pattern) const
{
    if (const Held *value = held(id)) {
        *pattern = RegisterLayout::writePattern(type, value->number);
        return true;
    }
    const YAML::Node value = variable(id)["value"];
    try {
        if (type == RegisterLayout::Type::Float32) {
            *pattern = RegisterLayout::floatPattern(value.as<float>());
            return true;
        }
        // Bit fields are held unsigned, so the whole unsigned 32-bit range is accepted too.
        const long long number = value.as<long long>();
        if (number < std::numeric_limits<qint32>::min() || number > std::numeric_limits<quint32>::max())
            return false;
        *pattern = quint32(number);
        return true;
    } catch (const YAML::Exception &) {
        return false;
    }
}

QVariant VariableTable::value(unsigned int id) const
{
    if (const Held *value = held(id)) {
        if (value->type == RegisterLayout::Type::Float32)
            return QVariant(float(value->number));
        return QVariant(int(qint32(quint32(qint64(value->number)))));
    }
    const YAML::Node entry = variable(id);
    if (!entry || !entry["value"])
        return QVariant();
    const YAML::Node type = entry["type"];
    try {
        if (DescriptionFile::scalarString(type) == "float32")
            return QVariant(entry["value"].as<float>());
        return QVariant(entry["value"].as<int>());
    } catch (const YAML::Exception &) {
        return QVariant();
    }
}

RegisterLayout::Type VariableTable::typeOf(unsigned int id) const
{
    const YAML::Node typeNode = variable(id)["type"];
    const std::string typeText = DescriptionFile::scalarString(typeNode);
    return RegisterLayout::typeFromText(typeNode ? &typeText : nullptr);
}

const VariableTable::Held *VariableTable::held(unsigned int id) const
{
    const auto found = m_held.find(id);
    return found == m_held.end() ? nullptr : &found->second;
}

ValueInput::Range VariableTable::valueRange(unsigned int id) const
{
    return ValueInput::range(typeOf(id), boolAttribute(id, "bitfield"));
}

ValueInput::Parsed VariableTable::parseInput(unsigned int id, const QVariant &value) const
{
    if (!variable(id))
        return {};
    return ValueInput::parse(value, typeOf(id), boolAttribute(id, "bitfield"));
}

VelmorDeviceModel::ValueCheck VariableTable::checkValue(unsigned int id, const QVariant &value) const
{
    return parseInput(id, value).check;
}

bool VariableTable::setValue(unsigned int id, const QVariant &value)
{
    const ValueInput::Parsed parsed = parseInput(id, value);
    if (parsed.check != VelmorDeviceModel::ValueAccepted)
        return false;
    const RegisterLayout::Type type = typeOf(id);
    m_held[id] = {type, parsed.number};
    m_edits[id] = {RegisterLayout::writePattern(type, parsed.number), ++m_lastEditSerial};
    return true;
}

bool VariableTable::pendingEdit(unsigned int id, Edit *edit) const
{
    const auto found = m_edits.find(id);
    if (found == m_edits.end())
        return false;
    *edit = found->second;
    return true;
}

void VariableTable::settleEdit(unsigned int id, quint64 serial)
{
    const auto found = m_edits.find(id);
    if (found != m_edits.end() && found->second.serial == serial)
        m_edits.erase(found);
}

VariableTable::ReadOutcome VariableTable::storeRawWord(unsigned int id, quint32 rawWord)
{
    VariableLink varLink;
    double number = 0;
    if (!link(id, &varLink) || !RegisterLayout::valueFromRawWord(varLink.type, varLink.bitfield, rawWord, &number))
        return ReadOutcome::UnknownType;
    if (m_edits.count(id) != 0)
        return ReadOutcome::HeldBackForEdit;
    m_held[id] = {varLink.type, number};
    return ReadOutcome::Stored;
}
