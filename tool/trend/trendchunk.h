#ifndef TRENDCHUNK_H
#define TRENDCHUNK_H

#include "trendsample.h"
#include "trendspan.h"

#include <memory>

// Up to maxCapacity samples of a series, packed: one 64-bit base time with 32-bit offsets
// and the min and max as doubles, 20 bytes a sample. Only the newest chunk of a series
// grows (doubling up to maxCapacity), so a long series wastes at most one chunk's slack.
class TrendChunk
{
public:
    static constexpr int maxCapacity = 4096;

    TrendChunk() = default;

    int count() const { return m_count; }
    // Not full, and the time is close enough to the base for a 32-bit offset.
    bool canTake(qint64 timeMs) const;
    // The time is not earlier than the last sample's.
    void append(const TrendSample &sample);

    TrendSample at(int index) const;
    qint64 timeAt(int index) const;
    // Over the samples first to last, both included.
    TrendSpan span(int first, int last) const;
    qint64 firstTimeMs() const { return m_baseTimeMs; }
    qint64 lastTimeMs() const { return timeAt(m_count - 1); }
    // Index in this chunk of the first sample at or after the time; count() when none.
    int firstAtOrAfter(qint64 timeMs) const;
    // Index in this chunk of the last sample at or before the time; -1 when none.
    int lastAtOrBefore(qint64 timeMs) const;

    // Gives back the slack of a chunk that will take no more samples.
    void shrinkToFit();
    qint64 bytesUsed() const;

private:
    static constexpr int minCapacity = 16;

    void reallocate(int capacity);

    qint64 m_baseTimeMs = 0;
    int m_count = 0;
    int m_capacity = 0;
    std::unique_ptr<quint32[]> m_offsetsMs;
    std::unique_ptr<double[]> m_mins;
    std::unique_ptr<double[]> m_maxs;
};

#endif // TRENDCHUNK_H
