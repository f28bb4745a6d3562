#include "variablewrite.h"

#include "velmordevicemodel.h"

#include <cmath>
#include <limits>

namespace {

QString attribute(const VelmorDeviceModel *model, int id, const char *key)
{
    return model->getVarAttr(unsigned(id), QString::fromLatin1(key)).toString();
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
    bool ok = false;
    if (attribute(model, m_id, "type") == QLatin1String("float32")) {
        m_isFloat = true;
        m_floatValue = m_requested.toFloat(&ok);
        // NaN and infinity are no setting for a controller, and the model cannot send them.
        ok = ok && std::isfinite(m_floatValue);
    } else {
        // 0x... reads hexadecimal and a leading 0 octal, as in description files.
        m_bits = m_requested.toLongLong(&ok, 0);
        const qint64 mask = registerMask(model);
        const qint64 lowest = -(mask / 2) - 1;
        ok = ok && m_bits >= lowest && m_bits <= mask;
    }
    if (!ok)
        *errorText = QStringLiteral("%1 cannot hold the value \"%2\"").arg(m_name, m_requested);
    return ok;
}

bool VariableWrite::apply(VelmorDeviceModel *model, QString *errorText)
{
    const QVariant value = m_isFloat ? QVariant(m_floatValue) : QVariant(int(qint32(quint32(m_bits))));
    if (!model->setVarValue(unsigned(m_id), value)) {
        *errorText = QStringLiteral("%1 does not take the value %2").arg(m_name, m_requested);
        return false;
    }
    // The model holds a float with 7 significant digits and writes what it holds.
    if (m_isFloat)
        m_floatValue = attribute(model, m_id, "value").toFloat();
    return true;
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
