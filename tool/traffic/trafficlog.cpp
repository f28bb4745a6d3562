#include "trafficlog.h"

#include "traceline.h"

#include <algorithm>

TrafficLog::TrafficLog(int capacity, QObject *parent)
    : QAbstractTableModel(parent)
    , m_capacity(std::max(1, capacity))
{
    m_publish.setSingleShot(true);
    m_publish.setInterval(publishPeriodMs);
    connect(&m_publish, &QTimer::timeout, this, &TrafficLog::publishPending);
}

void TrafficLog::append(const TrafficFrame &frame)
{
    const size_t slot = size_t(m_nextNumber % quint64(m_capacity));
    // The ring grows to its capacity as frames come, and after a clear starts again.
    if (slot >= m_ring.size())
        m_ring.resize(slot + 1);
    m_ring[slot] = frame;
    ++m_nextNumber;
    m_storedCount = std::min(m_storedCount + 1, m_capacity);
    if (!m_publish.isActive())
        m_publish.start();
}

void TrafficLog::clear()
{
    m_publish.stop();
    beginResetModel();
    m_ring.clear();
    m_storedCount = 0;
    m_shownFirst = m_nextNumber;
    m_shownEnd = m_nextNumber;
    endResetModel();
    emit published();
}

void TrafficLog::publishPending()
{
    m_publish.stop();
    publishDropped();
    publishAppended();
    emit published();
}

void TrafficLog::publishDropped()
{
    const quint64 first = firstStored();
    if (first <= m_shownFirst)
        return;
    const quint64 droppedEnd = std::min(first, m_shownEnd);
    if (droppedEnd > m_shownFirst) {
        beginRemoveRows(QModelIndex(), 0, int(droppedEnd - m_shownFirst) - 1);
        m_shownFirst = droppedEnd;
        endRemoveRows();
    }
    // Frames appended and dropped again within one period were never shown.
    m_shownFirst = first;
    m_shownEnd = std::max(m_shownEnd, first);
}

void TrafficLog::publishAppended()
{
    if (m_nextNumber == m_shownEnd)
        return;
    const int shownRows = rowCount();
    beginInsertRows(QModelIndex(), shownRows, shownRows + int(m_nextNumber - m_shownEnd) - 1);
    m_shownEnd = m_nextNumber;
    endInsertRows();
}

QString TrafficLog::line(int row) const
{
    const TrafficFrame *frame = frameAtRow(row);
    if (!frame)
        return QString();
    return TraceLine::text(frame->time, frame->sent, frame->bytes) + QLatin1String(" | ") + frame->deviceName
           + QLatin1String(" | ") + FrameDecode::text(frame->protocol, frame->sent, frame->bytes);
}

int TrafficLog::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_shownEnd - m_shownFirst);
}

int TrafficLog::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TrafficLog::data(const QModelIndex &index, int role) const
{
    const TrafficFrame *frame = index.isValid() ? frameAtRow(index.row()) : nullptr;
    if (!frame)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return displayText(*frame, index.column());
    case Qt::ToolTipRole:
        if (index.column() == DirectionColumn)
            return frame->sent ? QStringLiteral("Отправлено") : QStringLiteral("Принято");
        return displayText(*frame, index.column());
    case DeviceKeyRole:
        return frame->deviceKey;
    default:
        return QVariant();
    }
}

QVariant TrafficLog::displayText(const TrafficFrame &frame, int column)
{
    switch (column) {
    case TimeColumn:
        return frame.time.toString(QStringLiteral("HH:mm:ss.zzz"));
    case DeviceColumn:
        return frame.deviceName;
    case DirectionColumn:
        return frame.sent ? QStringLiteral("→") : QStringLiteral("←");
    case BytesColumn:
        return QString::fromLatin1(frame.bytes.toHex(' ').toUpper());
    case DecodeColumn:
        return FrameDecode::text(frame.protocol, frame.sent, frame.bytes);
    default:
        return QVariant();
    }
}

QVariant TrafficLog::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case TimeColumn:
        return QStringLiteral("Время");
    case DeviceColumn:
        return QStringLiteral("Устройство");
    case DirectionColumn:
        return QStringLiteral("Напр.");
    case BytesColumn:
        return QStringLiteral("Байты");
    case DecodeColumn:
        return QStringLiteral("Расшифровка");
    default:
        return QVariant();
    }
}

const TrafficFrame *TrafficLog::frameOf(quint64 number) const
{
    if (number < firstStored() || number >= m_nextNumber)
        return nullptr;
    return &m_ring[size_t(number % quint64(m_capacity))];
}

// A row whose frame was dropped since the last publishing reads as empty until then.
const TrafficFrame *TrafficLog::frameAtRow(int row) const
{
    if (row < 0 || row >= rowCount())
        return nullptr;
    return frameOf(m_shownFirst + quint64(row));
}
