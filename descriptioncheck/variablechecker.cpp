#include "variablechecker.h"

#include "descriptionscalar.h"
#include "findings.h"
#include "keycatalog.h"
#include "protocoltraits.h"
#include "scalarreading.h"

#include <limits>

using KeyCatalog::Level;
using ScalarReading::shown;

namespace {

const int lastAddress = 0xFFFF;

struct ValueRange
{
    long long minimum;
    long long maximum;
    const char *typeName;
};

ValueRange valueRange(bool int16, bool int32, bool bitfield)
{
    if (int16)
        return bitfield ? ValueRange{0, 0xFFFF, "an int16 bit field"} : ValueRange{-0x8000, 0x7FFF, "an int16"};
    if (int32 && bitfield)
        return {0, std::numeric_limits<quint32>::max(), "an int32 bit field"};
    return {std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max(),
            int32 ? "an int32" : "a variable without \"type\""};
}

int lineOf(const YAML::Node &node)
{
    return node.Mark().line + 1;
}

} // namespace

VariableChecker::VariableChecker(const ProtocolTraits *protocol, Findings *findings)
    : m_protocol(protocol)
    , m_findings(findings)
{
}

void VariableChecker::check(const YAML::Node &variables, const std::vector<VariableDefinition> &definitions)
{
    int id = 0;
    for (auto it = variables.begin(); it != variables.end(); ++it, ++id)
        checkEntry(*it, definitions.at(std::size_t(id)), id);
}

void VariableChecker::checkEntry(const YAML::Node &entry, const VariableDefinition &definition, int id)
{
    if (!definition.isMapping) {
        m_findings->error(entry.Mark(), QStringLiteral("variable #%1 is %2, not a mapping of attributes: the model "
                                                       "cannot read it").arg(id).arg(shown(entry)));
        return;
    }
    const MappingIndex attributes(entry, m_findings);
    checkKeys(attributes);
    checkText(attributes, "name");
    checkText(attributes, "desc");
    checkName(attributes);
    const Type type = checkType(attributes, definition);
    const bool input = checkFlag(attributes, definition.input, "input");
    checkFlag(attributes, definition.rw, "rw");
    const bool bitfield = checkFlag(attributes, definition.bitfield, "bitfield");
    checkFlagAsTheToolReadsIt(attributes, "rw");
    checkFlagAsTheToolReadsIt(attributes, "bitfield");
    checkInputHasEffect(attributes);
    checkWordOrder(attributes, definition);
    int addr = 0;
    if (checkAddr(attributes, definition, &addr))
        checkRegisters(attributes, type, input, addr);
    checkValue(attributes, type, bitfield);
}

void VariableChecker::checkKeys(const MappingIndex &attributes)
{
    for (const MappingIndex::Entry &attribute : attributes.entries()) {
        if (KeyCatalog::isKnown(attribute.key, Level::Variable))
            continue;
        if (KeyCatalog::isMergeKey(attribute.key)) {
            m_findings->warning(attribute.keyNode.Mark(), KeyCatalog::mergeKeyFinding());
            continue;
        }
        if (KeyCatalog::isKnown(attribute.key, Level::TopLevel)) {
            m_findings->warning(attribute.keyNode.Mark(), QStringLiteral("%1 is a top-level key: inside a variable "
                                                                         "the model ignores it").arg(shown(attribute.key)));
            continue;
        }
        const QString nearest = KeyCatalog::nearestKey(attribute.key, Level::Variable);
        if (!nearest.isEmpty())
            m_findings->warning(attribute.keyNode.Mark(), QStringLiteral("unknown key %1: did you mean \"%2\"?")
                                                              .arg(shown(attribute.key), nearest));
    }
}

void VariableChecker::checkText(const MappingIndex &attributes, const char *key)
{
    const MappingIndex::Entry *text = attributes.find(key);
    if (!text)
        return;
    if (!ScalarReading::isText(text->value))
        m_findings->warningAt(text->keyNode, text->value, QStringLiteral("\"%1\" is %2, not a text: the model shows "
                                                                         "it as empty").arg(QLatin1String(key), shown(text->value)));
}

VariableChecker::Type VariableChecker::checkType(const MappingIndex &attributes, const VariableDefinition &definition)
{
    const Type type = definition.type.valueOr(Type::Untyped);
    if (type != Type::Unknown)
        return type;
    const MappingIndex::Entry *written = attributes.find("type");
    const QString nearest = KeyCatalog::nearestTypeName(DescriptionScalar::scalarText(written->value));
    const QString hint = nearest.isEmpty() ? QString() : QStringLiteral(" (did you mean \"%1\"?)").arg(nearest);
    m_findings->warning(definition.type.place, QStringLiteral("\"type\" %1 is not int16, int32 or float32: the variable is "
                                                        "polled but never gets a value%2").arg(shown(written->value), hint));
    return type;
}

bool VariableChecker::checkFlag(const MappingIndex &attributes, const KeyField<bool> &flag, const char *key)
{
    if (flag.isUnreadable())
        m_findings->error(flag.place, QStringLiteral("\"%1\" is %2, not a boolean: write true or false")
                                          .arg(QLatin1String(key), shown(attributes.find(key)->value)));
    return flag.valueOr(false);
}

void VariableChecker::checkFlagAsTheToolReadsIt(const MappingIndex &attributes, const char *key)
{
    const MappingIndex::Entry *flag = attributes.find(key);
    if (flag && ScalarReading::isFalseWordOtherThanFalse(flag->value))
        m_findings->warningAt(flag->keyNode, flag->value,
                              QStringLiteral("\"%1\" %2 reads as false here, but velmor-tool's menus read it as true: "
                                             "write false").arg(QLatin1String(key), shown(flag->value)));
}

void VariableChecker::checkInputHasEffect(const MappingIndex &attributes)
{
    const MappingIndex::Entry *input = attributes.find("input");
    if (input && m_protocol && !m_protocol->modbus)
        m_findings->warning(input->keyNode.Mark(), QStringLiteral("\"input\" has no effect on VelmorBUS RTU: only "
                                                                  "Modbus has input registers"));
}

void VariableChecker::checkWordOrder(const MappingIndex &attributes, const VariableDefinition &definition)
{
    const MappingIndex::Entry *order = attributes.find("wordorder");
    if (!order)
        return;
    if (definition.wordOrder.isUnreadable()) {
        m_findings->error(definition.wordOrder.place,
                          KeyCatalog::unknownWordOrderFinding(DescriptionScalar::scalarText(order->value), shown(order->value),
                                                              QStringLiteral("the model can neither read nor "
                                                                             "write this variable")));
        return;
    }
    if (m_protocol && !m_protocol->modbus)
        m_findings->warning(order->keyNode.Mark(), QStringLiteral("\"wordorder\" is read only for Modbus: the model "
                                                                  "ignores it here"));
}

bool VariableChecker::checkAddr(const MappingIndex &attributes, const VariableDefinition &definition, int *addr)
{
    const MappingIndex::Entry *address = attributes.find("addr");
    if (!definition.address.isPresent()) {
        m_findings->error(definition.place, QStringLiteral("this variable has no \"addr\": the model cannot poll it"));
        return false;
    }
    long long wide = 0;
    if (!DescriptionScalar::readLongLong(address->value, &wide)) {
        m_findings->errorAt(address->keyNode, address->value,
                            QStringLiteral("\"addr\" is %1, not an integer: the model cannot poll this variable")
                                .arg(shown(address->value)));
        return false;
    }
    if (!definition.address.isRead()) {
        m_findings->errorAt(address->keyNode, address->value,
                            QStringLiteral("\"addr\" %1 is beyond 16 bits (0 to 65535) and too large for the "
                                           "model to read: it cannot poll this variable").arg(shown(address->value)));
        return false;
    }
    *addr = definition.address.value;
    if (*addr < 0 || *addr > lastAddress) {
        m_findings->errorAt(address->keyNode, address->value,
                            QStringLiteral("\"addr\" %1 is beyond 16 bits (0 to 65535): the model would poll "
                                           "address %2 instead").arg(shown(address->value)).arg(quint16(*addr)));
        return false;
    }
    if (ScalarReading::isMisleadingOctal(address->value))
        m_findings->warningAt(address->keyNode, address->value,
                              QStringLiteral("\"addr\" %1 is octal because of its leading 0: it reads as %2")
                                  .arg(shown(address->value)).arg(*addr));
    if (isModbus() && definition.type.value != Type::Int16 && *addr == lastAddress) {
        m_findings->errorAt(address->keyNode, address->value,
                            QStringLiteral("\"addr\" 65535 leaves no room for the second register of this type"));
        return false;
    }
    return true;
}

void VariableChecker::checkValue(const MappingIndex &attributes, Type type, bool bitfield)
{
    const MappingIndex::Entry *value = attributes.find("value");
    if (!value || type == Type::Unknown)
        return;
    if (type != Type::Float32) {
        checkIntegerValue(*value, type, bitfield);
        return;
    }
    float number = 0;
    if (!DescriptionScalar::readFloat(value->value, &number))
        m_findings->errorAt(value->keyNode, value->value, QStringLiteral("\"value\" is %1, not a number a float32 "
                                                                         "can hold").arg(shown(value->value)));
}

void VariableChecker::checkIntegerValue(const MappingIndex::Entry &value, Type type, bool bitfield)
{
    const ValueRange range = valueRange(type == Type::Int16, type == Type::Int32, bitfield);
    long long number = 0;
    if (!DescriptionScalar::readLongLong(value.value, &number)) {
        m_findings->errorAt(value.keyNode, value.value, QStringLiteral("\"value\" is %1, not an integer: %2 holds whole numbers")
                                                            .arg(shown(value.value), QLatin1String(range.typeName)));
        return;
    }
    if (number < range.minimum || number > range.maximum) {
        m_findings->errorAt(value.keyNode, value.value, QStringLiteral("\"value\" %1 does not fit %2 (%3 to %4)")
                                                            .arg(shown(value.value), QLatin1String(range.typeName))
                                                            .arg(range.minimum).arg(range.maximum));
        return;
    }
    if (ScalarReading::isMisleadingOctal(value.value))
        m_findings->warningAt(value.keyNode, value.value, QStringLiteral("\"value\" %1 is octal because of its "
                                                                         "leading 0: it reads as %2")
                                                              .arg(shown(value.value)).arg(number));
}

void VariableChecker::checkName(const MappingIndex &attributes)
{
    const MappingIndex::Entry *name = attributes.find("name");
    if (!name || !name->value.IsScalar())
        return;
    const QString text = QString::fromStdString(name->value.Scalar());
    if (text.isEmpty())
        return;
    if (!m_nameLines.contains(text)) {
        m_nameLines.insert(text, lineOf(name->value));
        return;
    }
    m_findings->warning(name->value.Mark(), QStringLiteral("name %1 is taken by the variable on line %2 already: "
                                                           "velmor-cli --set, --dump and --restore reach only that one")
                                                .arg(shown(text)).arg(m_nameLines.value(text)));
}

void VariableChecker::checkRegisters(const MappingIndex &attributes, Type type, bool input, int addr)
{
    if (!isModbus())
        return;
    QHash<int, int> &lines = input ? m_inputRegisterLines : m_holdingRegisterLines;
    const MappingIndex::Entry *address = attributes.find("addr");
    const int count = type == Type::Int16 ? 1 : 2;
    bool reported = false;
    for (int reg = addr; reg < addr + count; ++reg) {
        if (!reported && lines.contains(reg)) {
            m_findings->warningAt(address->keyNode, address->value,
                                  QStringLiteral("%1 register %2 is read by the variable on line %3 too")
                                      .arg(input ? QStringLiteral("input") : QStringLiteral("holding"))
                                      .arg(reg).arg(lines.value(reg)));
            reported = true;
        }
        if (!lines.contains(reg))
            lines.insert(reg, lineOf(address->keyNode));
    }
}

bool VariableChecker::isModbus() const
{
    return m_protocol && m_protocol->modbus;
}
