#include "variabletable.h"

#include "descriptionfile.h"
#include "descriptionscalar.h"

#include <limits>

void VariableTable::reset(const DescriptionFile &file)
{
    m_variables.reset(file.variables());
    m_specs = &file.variableSpecs();
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
    const SpecField<std::string> &name = spec(id).name;
    return name.isPresent() ? QString::fromStdString(name.value) : QStringLiteral("#%1").arg(id);
}

QVariant VariableTable::attribute(unsigned int id, const QString &attr) const
{
    const YAML::Node entry = variable(id);
    if (!entry)
        return QVariant();
    const YAML::Node node = entry[attr.toUtf8().toStdString()];
    if (!node)
        return QVariant();
    return DescriptionScalar::scalarText(node);
}

bool VariableTable::isWritable(unsigned int id) const
{
    return spec(id).rw.valueOr(false);
}

bool VariableTable::isBitfield(unsigned int id) const
{
    return spec(id).bitfield.valueOr(false);
}

bool VariableTable::link(unsigned int id, VariableLink *link) const
{
    return spec(id).link(link);
}

const VariableSpec &VariableTable::spec(unsigned int id) const
{
    static const VariableSpec outside;
    return m_specs && id < m_specs->size() ? (*m_specs)[id] : outside;
}

RegisterLayout::Type VariableTable::type(unsigned int id) const
{
    return spec(id).type.valueOr(RegisterLayout::Type::Untyped);
}

bool VariableTable::writePattern(unsigned int id, RegisterLayout::Type type, quint32 *pattern) const
{
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

ValueInput::Range VariableTable::valueRange(unsigned int id) const
{
    return ValueInput::range(type(id), isBitfield(id));
}

ValueInput::Parsed VariableTable::parseInput(unsigned int id, const QVariant &value) const
{
    if (!spec(id).isMapping)
        return {};
    return ValueInput::parse(value, type(id), isBitfield(id));
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
    variable(id)["value"] = parsed.heldText;
    m_edits[id] = {parsed.pattern, ++m_lastEditSerial};
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
    std::string text;
    if (!link(id, &varLink) || !RegisterLayout::heldTextFromRawWord(varLink.type, varLink.bitfield, rawWord, &text))
        return ReadOutcome::UnknownType;
    if (m_edits.count(id) != 0)
        return ReadOutcome::HeldBackForEdit;
    variable(id)["value"] = text;
    return ReadOutcome::Stored;
}
