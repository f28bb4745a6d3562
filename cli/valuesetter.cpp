#include "valuesetter.h"

#include "velmordevicemodel.h"

#include <algorithm>
#include <cmath>
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
    for (int id = 0; id < model->varCount(); ++id) {
        const QVariant name = model->getVarAttr(unsigned(id), QStringLiteral("name"));
        if (name.isValid())
            m_idsByName.insert(name.toString(), id);
    }
}

bool ValueSetter::writable(const VelmorDeviceModel *model, int id)
{
    return yamlTrue(attribute(model, id, "rw"));
}

ValueSetter::Outcome ValueSetter::set(const QString &name, const QString &valueText, QString *errorText)
{
    return queue(name, nullptr, valueText, errorText);
}

ValueSetter::Outcome ValueSetter::setAt(const QString &name, const QString &addr, const QString &valueText,
                                        QString *errorText)
{
    return queue(name, &addr, valueText, errorText);
}

ValueSetter::Outcome ValueSetter::queue(const QString &name, const QString *addr, const QString &valueText,
                                        QString *errorText)
{
    Write write;
    write.name = name;
    write.requested = valueText.trimmed();
    const Outcome found = findTarget(name, addr, &write.id, errorText);
    if (found != Outcome::Queued)
        return found;
    if (!parseValue(&write, errorText))
        return Outcome::Refused;
    const QVariant value = write.isFloat ? QVariant(write.floatValue) : QVariant(int(qint32(quint32(write.bits))));
    if (!m_model->setVarValue(unsigned(write.id), value)) {
        *errorText = QStringLiteral("%1 does not take the value %2").arg(name, write.requested);
        return Outcome::Refused;
    }
    // The model holds a float with 7 significant digits and writes what it holds.
    if (write.isFloat)
        write.floatValue = attribute(m_model, write.id, "value").toFloat();
    // The model sends one write per variable, of the latest value.
    m_writes.erase(std::remove_if(m_writes.begin(), m_writes.end(), [&write](const Write &earlier) {
        return earlier.id == write.id;
    }), m_writes.end());
    m_writes.append(write);
    return Outcome::Queued;
}

// Names are compared as the model decodes them, so names that differ only in bytes
// that are not UTF-8 read alike: such a pair is ambiguous, never a guess.
ValueSetter::Outcome ValueSetter::findTarget(const QString &name, const QString *addr, int *id,
                                             QString *errorText) const
{
    const QList<int> named = m_idsByName.values(name);
    int matching = 0;
    QVector<int> writableIds;
    for (const int candidate : qAsConst(named)) {
        if (addr && attribute(m_model, candidate, "addr") != *addr)
            continue;
        ++matching;
        if (writable(m_model, candidate))
            writableIds.append(candidate);
    }
    if (named.isEmpty()) {
        *errorText = QStringLiteral("no variable named %1").arg(name);
        return Outcome::Refused;
    }
    if (matching == 0) {
        *errorText = QStringLiteral("no variable named %1 at address %2").arg(name, *addr);
        return Outcome::Refused;
    }
    if (writableIds.isEmpty()) {
        *errorText = QStringLiteral("%1 is read-only").arg(name);
        return Outcome::Refused;
    }
    if (writableIds.size() > 1) {
        *errorText = QStringLiteral("%1 writable variables are named %2%3")
                         .arg(writableIds.size())
                         .arg(name, addr ? QStringLiteral(" at address %1").arg(*addr) : QString());
        return Outcome::Ambiguous;
    }
    *id = writableIds.first();
    return Outcome::Queued;
}

void ValueSetter::noteWriteFailure(int id, const QString &reason)
{
    for (Write &write : m_writes) {
        if (write.id == id)
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
        // NaN and infinity are no setting for a controller, and the model cannot send them.
        ok = ok && std::isfinite(write->floatValue);
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
