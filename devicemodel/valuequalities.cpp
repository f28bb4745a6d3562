#include "valuequalities.h"

void ValueQualities::reset(int count)
{
    m_records.assign(size_t(qMax(count, 0)), Record());
    m_currentFrom = 0;
}

void ValueQualities::noteRead(int id, quint64 cycle, const QDateTime &time)
{
    if (id < 0 || size_t(id) >= m_records.size())
        return;
    Record &entry = m_records[size_t(id)];
    entry.lastRead = time;
    entry.failed = false;
    entry.readCycle = cycle;
}

void ValueQualities::noteFailure(int id, const QString &reason)
{
    if (id < 0 || size_t(id) >= m_records.size())
        return;
    Record &entry = m_records[size_t(id)];
    entry.lastFailure = reason;
    entry.failed = true;
}

void ValueQualities::cycleEnded(quint64 cycle)
{
    m_currentFrom = qMax(m_currentFrom, cycle);
}

void ValueQualities::linkDown(quint64 lastCycle)
{
    m_currentFrom = qMax(m_currentFrom, lastCycle + 1);
}

VelmorDeviceModel::ValueQuality ValueQualities::quality(int id) const
{
    const Record *entry = record(id);
    if (entry && entry->failed)
        return VelmorDeviceModel::QualityFailed;
    if (!entry || !entry->lastRead.isValid())
        return VelmorDeviceModel::QualityFromFile;
    return entry->readCycle >= m_currentFrom ? VelmorDeviceModel::QualityGood : VelmorDeviceModel::QualityStale;
}

QDateTime ValueQualities::lastRead(int id) const
{
    const Record *entry = record(id);
    return entry ? entry->lastRead : QDateTime();
}

QString ValueQualities::lastFailure(int id) const
{
    const Record *entry = record(id);
    return entry ? entry->lastFailure : QString();
}

const ValueQualities::Record *ValueQualities::record(int id) const
{
    return id >= 0 && size_t(id) < m_records.size() ? &m_records[size_t(id)] : nullptr;
}
