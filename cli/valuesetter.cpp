#include "valuesetter.h"

#include "velmordevicemodel.h"

#include <algorithm>

namespace {

QString attribute(const VelmorDeviceModel *model, int id, const char *key)
{
    return model->getVarAttr(unsigned(id), QString::fromLatin1(key)).toString();
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
    return model->isVarWritable(unsigned(id));
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
    int id = -1;
    const Outcome found = findTarget(name, addr, &id, errorText);
    if (found != Outcome::Queued)
        return found;
    Write write{VariableWrite(id, name, valueText), QString()};
    if (!write.value.parse(m_model, errorText) || !write.value.apply(m_model, errorText))
        return Outcome::Refused;
    // The model sends one write per variable, of the latest value.
    m_writes.erase(std::remove_if(m_writes.begin(), m_writes.end(), [id](const Write &earlier) {
        return earlier.value.id() == id;
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
        if (write.value.id() == id)
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

QString ValueSetter::checkWrite(const Write &write, const QVector<int> &failedIds) const
{
    const VariableWrite &value = write.value;
    if (!write.failure.isEmpty())
        return QStringLiteral("%1: write failed: %2").arg(value.name(), write.failure);
    if (failedIds.contains(value.id()))
        return QStringLiteral("%1: wrote %2, but it could not be read back").arg(value.name(), value.requested());
    if (!value.readBackMatches(m_model))
        return QStringLiteral("%1: wrote %2, controller reports %3")
            .arg(value.name(), value.requested(), attribute(m_model, value.id(), "value"));
    return QString();
}
