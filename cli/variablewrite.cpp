#include "variablewrite.h"

#include "velmordevicemodel.h"

#include <limits>

namespace {

QString attribute(const VelmorDeviceModel *model, int id, const char *key)
{
    return model->getVarAttr(unsigned(id), QString::fromLatin1(key)).toString();
}

// The text as a message can show it: a control character (a NUL in an MQTT payload)
// as \xHH.
QString printable(const QString &text)
{
    QString shown;
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

} // namespace

VariableWrite::VariableWrite(int id, const QString &name, const QString &valueText)
    : m_id(id)
    , m_name(name)
    , m_requested(valueText.trimmed())
{
}

int VariableWrite::id() const
{
    return m_id;
}

QString VariableWrite::name() const
{
    return m_name;
}

QString VariableWrite::requested() const
{
    return m_requested;
}

bool VariableWrite::parse(const VelmorDeviceModel *model, QString *errorText)
{
    m_isFloat = attribute(model, m_id, "type") == QLatin1String("float32");
    m_value = m_isFloat ? QVariant(m_requested) : integerValue(m_requested);
    // The model judges every number, so that a set is refused for the reasons an edit is.
    const VelmorDeviceModel::ValueCheck check = m_value.isValid() ? model->checkVarValue(unsigned(m_id), m_value)
                                                                  : VelmorDeviceModel::ValueNotANumber;
    if (check == VelmorDeviceModel::ValueAccepted) {
        m_bits = m_isFloat ? 0 : m_value.toLongLong();
        return true;
    }
    *errorText = QStringLiteral("%1 cannot hold the value \"%2\"").arg(m_name, printable(m_requested));
    if (check == VelmorDeviceModel::ValueOutOfRange) {
        const QPair<double, double> range = model->varValueRange(unsigned(m_id));
        *errorText += QStringLiteral(": it takes %1 to %2").arg(range.first, 0, 'g', 10).arg(range.second, 0, 'g', 10);
    }
    return false;
}

bool VariableWrite::apply(VelmorDeviceModel *model, QString *errorText)
{
    if (!model->setVarValue(unsigned(m_id), m_value)) {
        *errorText = QStringLiteral("%1 does not take the value %2").arg(m_name, m_requested);
        return false;
    }
    // The model holds a float with 7 significant digits and writes what it holds.
    if (m_isFloat)
        m_floatValue = attribute(model, m_id, "value").toFloat();
    return true;
}

// Decimal, 0x... hexadecimal or, with a leading 0, octal, as in description files;
// invalid unless the whole text is one such number.
QVariant VariableWrite::integerValue(const QString &text)
{
    bool ok = false;
    const qlonglong number = text.toLongLong(&ok, 0);
    return ok ? QVariant(number) : QVariant();
}

bool VariableWrite::readBackMatches(const VelmorDeviceModel *model) const
{
    const QString readBack = attribute(model, m_id, "value");
    bool ok = false;
    if (m_isFloat) {
        const float number = readBack.toFloat(&ok);
        return ok && number == m_floatValue;
    }
    // Bit-field variables read back unsigned what was written signed: compare the bits.
    const qint64 number = readBack.toLongLong(&ok);
    const qint64 mask = registerMask(model);
    return ok && (number & mask) == (m_bits & mask);
}

qint64 VariableWrite::registerMask(const VelmorDeviceModel *model) const
{
    if (attribute(model, m_id, "type") == QLatin1String("int16"))
        return std::numeric_limits<quint16>::max();
    return std::numeric_limits<quint32>::max();
}
