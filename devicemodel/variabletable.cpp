#include "variabletable.h"

#include "descriptionfile.h"
#include "descriptionscalar.h"

#include <limits>

void VariableTable::reset(const DescriptionFile &file)
{
    m_variables.reset(file.variables());
    m_definitions = &file.variableDefinitions();
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
    const KeyField<std::string> &name = definition(id).name;
    return name.isPresent() ? QString::fromStdString(name.value) : QStringLiteral("#%1").arg(id);
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
    return DescriptionScalar::scalarText(node);
}

bool VariableTable::isWritable(unsigned int id) const
{
    return definition(id).rw.valueOr(false);
}

bool VariableTable::isBitfield(unsigned int id) const
{
    return definition(id).bitfield.valueOr(false);
}

bool VariableTable::link(unsigned int id, VariableLink *link) const
{
    return definition(id).link(link);
}

const VariableDefinition &VariableTable::definition(unsigned int id) const
{
    static const VariableDefinition outside;
    return m_definitions && id < m_definitions->size() ? (*m_definitions)[id] : outside;
}

RegisterLayout::Type VariableTable::type(unsigned int id) const
{
    return definition(id).type.valueOr(RegisterLayout::Type::Untyped);
}

bool VariableTable::writePattern(unsigned int id, RegisterLayout::Type type, quint32 *pattern) const
{
    if (const Held *value = held(id)) {
        *pattern = RegisterLayout::writePattern(type, value->number);
        return true;
    }
    const YAML::Node fileValue = variable(id)["value"];
    if (type == RegisterLayout::Type::Float32) {
        float number = 0;
        if (!DescriptionScalar::readFloat(fileValue, &number))
            return false;
        *pattern = RegisterLayout::floatPattern(number);
        return true;
    }
    // Bit fields are held unsigned, so the whole unsigned 32-bit range is accepted too.
    long long number = 0;
    if (!DescriptionScalar::readLongLong(fileValue, &number) || number < std::numeric_limits<qint32>::min()
        || number > std::numeric_limits<quint32>::max())
        return false;
    *pattern = quint32(number);
    return true;
}

bool VariableTable::hasValue(unsigned int id) const
{
    const YAML::Node entry = variable(id);
    return entry && (held(id) || entry["value"]);
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
    if (type(id) == RegisterLayout::Type::Float32) {
        float number = 0;
        return DescriptionScalar::readFloat(entry["value"], &number) ? QVariant(number) : QVariant();
    }
    int number = 0;
    return DescriptionScalar::readInt(entry["value"], &number) ? QVariant(number) : QVariant();
}

double VariableTable::number(unsigned int id) const
{
    const QVariant held = value(id);
    if (held.userType() == QMetaType::Float)
        return RegisterLayout::floatTextNumber(held.toFloat());
    // value() gives a bit field as an int of the same bits.
    if (isBitfield(id))
        return double(quint32(held.toInt()));
    return double(held.toInt());
}

const VariableTable::Held *VariableTable::held(unsigned int id) const
{
    const auto found = m_held.find(id);
    return found == m_held.end() ? nullptr : &found->second;
}

ValueInput::Range VariableTable::valueRange(unsigned int id) const
{
    return ValueInput::range(type(id), isBitfield(id));
}

ValueInput::Parsed VariableTable::parseInput(unsigned int id, const QVariant &value) const
{
    if (!definition(id).isMapping)
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
    const RegisterLayout::Type held = type(id);
    m_held[id] = {held, parsed.number};
    m_edits[id] = {RegisterLayout::writePattern(held, parsed.number), ++m_lastEditSerial};
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
