#ifndef VALUEQUALITIES_H
#define VALUEQUALITIES_H

#include "velmordevicemodel.h"

#include <QDateTime>
#include <QString>

#include <vector>

// How far each variable's value can be trusted: whether it ever came from the device,
// when it was last read, and whether and why the last read failed. A value counts as
// current only when the last cycle that ended read it; a lost link makes every value stale.
class ValueQualities
{
public:
    void reset(int count);

    void noteRead(int id, quint64 cycle, const QDateTime &time);
    void noteFailure(int id, const QString &reason);
    // A cycle ended, finished or not: what it did not read is stale from now on.
    void cycleEnded(quint64 cycle);
    // The link went away: nothing read so far is current any more.
    void linkDown(quint64 lastCycle);

    VelmorDeviceModel::ValueQuality quality(int id) const;
    QDateTime lastRead(int id) const;
    QString lastFailure(int id) const;

private:
    struct Record {
        QDateTime lastRead;
        QString lastFailure;
        bool failed = false;
        quint64 readCycle = 0;
    };

    const Record *record(int id) const;

    std::vector<Record> m_records;
    // Values read by an earlier cycle than this one are stale.
    quint64 m_currentFrom = 0;
};

#endif // VALUEQUALITIES_H
