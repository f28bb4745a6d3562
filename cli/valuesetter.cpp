#include "valuesetter.h"

#include "velmordevicemodel.h"

#include <algorithm>
#include <limits>

namespace {

QString attribute(const VelmorDeviceModel *model, int id, const char *key)
{
    return model->getVarAttr(unsigned(id), QString::fromLatin1(key)).toString();
}

// A YAML boolean true, in lower case, upper case or with its first letter capital.
bool yamlTrue(const QString &text)
{
    for (const char *word : {"y", "yes", "true", "on"}) {
        const QString lower = QString::fromLatin1(word);
        const QString capital = lower.left(1).toUpper() + lower.mid(1);
        if (text == lower || text == lower.toUpper() || text == capital)
            return true;
    }
    return false;
}

} // namespace

ValueSetter::ValueSetter(VelmorDeviceModel *model)
    : m_model(model)
{
}

int ValueSetter::idOfName(const VelmorDeviceModel *model, const QString &name)
{
    for (int id = 0; id < model->varCount(); ++id) {
        const QVariant varName = model->getVarAttr(unsigned(id), QStringLiteral("name"));
        if (varName.isValid() && varName.toString() == name)
            return id;
    }
    return -1;
}

bool ValueSetter::writable(const VelmorDeviceModel *model, int id)
{
    return yamlTrue(attribute(model, id, "rw"));
}

bool ValueSetter::set(const QString &name, const QString &valueText, QString *errorText)
{
    Write write;
    write.id = idOfName(m_model, name);
    write.name = name;
    write.requested = valueText.trimmed();
    if (write.id < 0) {
        *errorText = QStringLiteral("no variable named %1").arg(name);
        return false;
    }
    if (!writable(m_model, write.id)) {
        *errorText = QStringLiteral("%1 is read-only").arg(name);
        return false;
    }
    if (!parseValue(&write, errorText))
        return false;
    const QVariant value = write.isFloat ? QVariant(write.floatValue) : QVariant(int(qint32(quint32(write.bits))));
    if (!m_model->setVarValue(unsigned(write.id), value)) {
        *errorText = QStringLiteral("%1 does not take the value %2").arg(name, write.requested);
        return false;
    }
    // The model holds a float with 7 significant digits and writes what it holds.
    if (write.isFloat)
        write.floatValue = attribute(m_model, write.id, "value").toFloat();
    // The model sends one write per variable, of the latest value.
    m_writes.erase(std::remove_if(m_writes.begin(), m_writes.end(), [&write](const Write &earlier) {
        return earlier.id == write.id;
    }), m_writes.end());
    m_writes.append(write);
    return true;
}

void ValueSetter::noteWriteFailure(const QString &name, const QString &reason)
{
    for (Write &write : m_writes) {
        if (write.name == name || name.isEmpty())
            write.failure = reason;
    }
}

bool ValueSetter::hasWrites() const
{
    return !m_writes.isEmpty();
}

int ValueSetter::writeCount() const
{
    return m_writes.size();
}

QStringList ValueSetter::verify(const QVector<int> &failedIds) const
{
    QStringList problems;
    for (const Write &write : m_writes) {
        const QString problem = checkWrite(write, failedIds);
        if (!problem.isEmpty())
            problems.append(problem);
    }
    return problems;
}

bool ValueSetter::parseValue(Write *write, QString *errorText) const
{
    bool ok = false;
    if (attribute(m_model, write->id, "type") == QLatin1String("float32")) {
        write->isFloat = true;
        write->floatValue = write->requested.toFloat(&ok);
    } else {
        // 0x... reads hexadecimal and a leading 0 octal, as in description files.
        write->bits = write->requested.toLongLong(&ok, 0);
        const qint64 mask = registerMask(write->id);
        const qint64 lowest = -(mask / 2) - 1;
        ok = ok && write->bits >= lowest && write->bits <= mask;
    }
    if (!ok)
        *errorText = QStringLiteral("%1 cannot hold the value \"%2\"").arg(write->name, write->requested);
    return ok;
}

QString ValueSetter::checkWrite(const Write &write, const QVector<int> &failedIds) const
{
    if (!write.failure.isEmpty())
        return QStringLiteral("%1: write failed: %2").arg(write.name, write.failure);
    if (failedIds.contains(write.id))
        return QStringLiteral("%1: wrote %2, but it could not be read back").arg(write.name, write.requested);
    const QString readBack = attribute(m_model, write.id, "value");
    if (!readBackMatches(write, readBack))
        return QStringLiteral("%1: wrote %2, controller reports %3").arg(write.name, write.requested, readBack);
    return QString();
}

bool ValueSetter::readBackMatches(const Write &write, const QString &readBack) const
{
    bool ok = false;
    if (write.isFloat) {
        const float number = readBack.toFloat(&ok);
        return ok && number == write.floatValue;
    }
    // Bit-field variables read back unsigned what was written signed: compare the bits.
    const qint64 number = readBack.toLongLong(&ok);
    const qint64 mask = registerMask(write.id);
    return ok && (number & mask) == (write.bits & mask);
}

qint64 ValueSetter::registerMask(int id) const
{
    if (attribute(m_model, id, "type") == QLatin1String("int16"))
        return std::numeric_limits<quint16>::max();
    return std::numeric_limits<quint32>::max();
}
