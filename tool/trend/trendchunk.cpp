#include "trendchunk.h"

#include <algorithm>
#include <limits>

namespace {

constexpr qint64 maxOffsetMs = std::numeric_limits<quint32>::max();

template <typename T>
std::unique_ptr<T[]> copied(const std::unique_ptr<T[]> &from, int count, int capacity)
{
    std::unique_ptr<T[]> to(new T[std::size_t(capacity)]);
    if (count > 0)
        std::copy(from.get(), from.get() + count, to.get());
    return to;
}

} // namespace

bool TrendChunk::canTake(qint64 timeMs) const
{
    if (m_count == 0)
        return true;
    return m_count < maxCapacity && timeMs - m_baseTimeMs <= maxOffsetMs;
}

void TrendChunk::append(const TrendSample &sample)
{
    if (m_count == 0)
        m_baseTimeMs = sample.timeMs;
    if (m_count == m_capacity)
        reallocate(std::min(std::max(minCapacity, m_capacity * 2), maxCapacity));
    m_offsetsMs[m_count] = quint32(sample.timeMs - m_baseTimeMs);
    m_mins[m_count] = sample.min;
    m_maxs[m_count] = sample.max;
    ++m_count;
}

TrendSample TrendChunk::at(int index) const
{
    return {timeAt(index), m_mins[index], m_maxs[index]};
}

TrendSpan TrendChunk::span(int first, int last) const
{
    TrendSpan span;
    // A gap's min is NaN, which no comparison takes: the loop stays branch-light.
    for (int index = first; index <= last; ++index) {
        const double low = m_mins[index];
        span.gap = span.gap || low != low;
        span.min = low < span.min ? low : span.min;
        span.max = m_maxs[index] > span.max ? m_maxs[index] : span.max;
    }
    return span;
}

qint64 TrendChunk::timeAt(int index) const
{
    return m_baseTimeMs + m_offsetsMs[index];
}

int TrendChunk::firstAtOrAfter(qint64 timeMs) const
{
    if (timeMs <= m_baseTimeMs)
        return 0;
    if (timeMs - m_baseTimeMs > maxOffsetMs)
        return m_count;
    const quint32 offsetMs = quint32(timeMs - m_baseTimeMs);
    return int(std::lower_bound(m_offsetsMs.get(), m_offsetsMs.get() + m_count, offsetMs) - m_offsetsMs.get());
}

int TrendChunk::lastAtOrBefore(qint64 timeMs) const
{
    if (timeMs < m_baseTimeMs)
        return -1;
    const quint32 offsetMs = quint32(std::min(timeMs - m_baseTimeMs, maxOffsetMs));
    return int(std::upper_bound(m_offsetsMs.get(), m_offsetsMs.get() + m_count, offsetMs) - m_offsetsMs.get()) - 1;
}

void TrendChunk::shrinkToFit()
{
    if (m_count < m_capacity)
        reallocate(m_count);
}

qint64 TrendChunk::bytesUsed() const
{
    return qint64(sizeof(TrendChunk)) + qint64(m_capacity) * qint64(sizeof(quint32) + 2 * sizeof(double));
}

void TrendChunk::reallocate(int capacity)
{
    m_offsetsMs = copied(m_offsetsMs, m_count, capacity);
    m_mins = copied(m_mins, m_count, capacity);
    m_maxs = copied(m_maxs, m_count, capacity);
    m_capacity = capacity;
}
