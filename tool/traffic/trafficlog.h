#ifndef TRAFFICLOG_H
#define TRAFFICLOG_H

#include "trafficframe.h"

#include <QAbstractTableModel>
#include <QTimer>

#include <vector>

// The last frames of every traced device, at most capacity() of them: the oldest go
// first. Appending only stores the frame; views learn of new and dropped rows in one
// batch per publishing period, so that a busy line does not make them relayout per frame.
class TrafficLog : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        TimeColumn,
        DeviceColumn,
        DirectionColumn,
        BytesColumn,
        DecodeColumn,
        ColumnCount
    };

    enum Role {
        DeviceKeyRole = Qt::UserRole
    };

    static constexpr int defaultCapacity = 10000;
    static constexpr int publishPeriodMs = 100;

    explicit TrafficLog(int capacity = defaultCapacity, QObject *parent = nullptr);

    int capacity() const { return m_capacity; }
    // Frames kept, whether views were told of all of them yet or not.
    int storedCount() const { return m_storedCount; }

    void append(const TrafficFrame &frame);
    void clear();
    // Tells views now of what the period would tell them later.
    void publishPending();

    // The row as a line of a saved file: the trace line of velmor-cli --trace, the
    // device and the decode.
    QString line(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    // Views have just been told of the frames appended and dropped since the last time.
    void published();

private:
    // Frames are numbered from 0 on, across clears; a number maps to a ring slot.
    const TrafficFrame *frameOf(quint64 number) const;
    const TrafficFrame *frameAtRow(int row) const;
    quint64 firstStored() const { return m_nextNumber - quint64(m_storedCount); }
    void publishDropped();
    void publishAppended();
    static QVariant displayText(const TrafficFrame &frame, int column);

    int m_capacity;
    std::vector<TrafficFrame> m_ring;
    quint64 m_nextNumber = 0;
    int m_storedCount = 0;
    // The numbers views know as rows: [m_shownFirst, m_shownEnd).
    quint64 m_shownFirst = 0;
    quint64 m_shownEnd = 0;
    QTimer m_publish;
};

#endif // TRAFFICLOG_H
