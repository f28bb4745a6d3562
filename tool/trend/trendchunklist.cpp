#include "trendchunklist.h"

#include <algorithm>

void TrendChunkList::append(const TrendSample &sample)
{
    if (m_chunks.empty() || !m_chunks.back().chunk.canTake(sample.timeMs)) {
        if (!m_chunks.empty())
            shrinkToFit();
        addEntry(TrendChunk());
    }
    TrendChunk &tail = m_chunks.back().chunk;
    const qint64 before = tail.bytesUsed();
    tail.append(sample);
    ++m_count;
    countTailBytes(before);
}

TrendSample TrendChunkList::at(int index) const
{
    const Entry &entry = m_chunks[std::size_t(chunkOfIndex(index))];
    return entry.chunk.at(index - entry.firstIndex);
}

TrendSpan TrendChunkList::span(int first, int last) const
{
    TrendSpan span;
    for (int position = chunkOfIndex(first); first <= last; ++position) {
        const Entry &entry = m_chunks[std::size_t(position)];
        const int end = std::min(last, entry.firstIndex + entry.chunk.count() - 1);
        span.take(entry.chunk.span(first - entry.firstIndex, end - entry.firstIndex));
        first = end + 1;
    }
    return span;
}

TrendSample TrendChunkList::last() const
{
    const TrendChunk &tail = m_chunks.back().chunk;
    return tail.at(tail.count() - 1);
}

int TrendChunkList::firstAtOrAfter(qint64 timeMs) const
{
    const auto found = std::partition_point(m_chunks.cbegin(), m_chunks.cend(), [timeMs](const Entry &entry) {
        return entry.chunk.lastTimeMs() < timeMs;
    });
    if (found == m_chunks.cend())
        return m_count;
    return found->firstIndex + found->chunk.firstAtOrAfter(timeMs);
}

int TrendChunkList::lastAtOrBefore(qint64 timeMs) const
{
    const auto found = std::partition_point(m_chunks.cbegin(), m_chunks.cend(), [timeMs](const Entry &entry) {
        return entry.chunk.firstTimeMs() <= timeMs;
    });
    if (found == m_chunks.cbegin())
        return -1;
    const Entry &entry = *std::prev(found);
    return entry.firstIndex + entry.chunk.lastAtOrBefore(timeMs);
}

TrendChunk TrendChunkList::takeChunk(int position)
{
    Entry &entry = m_chunks[std::size_t(position)];
    m_bytes -= entry.chunk.bytesUsed();
    m_count -= entry.chunk.count();
    TrendChunk taken = std::move(entry.chunk);
    entry.chunk = TrendChunk();
    m_bytes += entry.chunk.bytesUsed();
    return taken;
}

void TrendChunkList::appendChunk(TrendChunk &&chunk)
{
    if (chunk.count() == 0)
        return;
    m_count += chunk.count();
    addEntry(std::move(chunk));
}

void TrendChunkList::shrinkToFit()
{
    if (m_chunks.empty())
        return;
    TrendChunk &tail = m_chunks.back().chunk;
    const qint64 before = tail.bytesUsed();
    tail.shrinkToFit();
    countTailBytes(before);
}

int TrendChunkList::chunkOfIndex(int index) const
{
    const auto found = std::partition_point(m_chunks.cbegin(), m_chunks.cend(),
                                            [index](const Entry &entry) { return entry.firstIndex <= index; });
    return int(found - m_chunks.cbegin()) - 1;
}

void TrendChunkList::addEntry(TrendChunk &&chunk)
{
    const std::size_t capacityBefore = m_chunks.capacity();
    const int firstIndex = m_count - chunk.count();
    m_bytes += chunk.bytesUsed() - qint64(sizeof(TrendChunk));
    m_chunks.push_back({std::move(chunk), firstIndex});
    m_bytes += qint64(m_chunks.capacity() - capacityBefore) * qint64(sizeof(Entry));
}

void TrendChunkList::countTailBytes(qint64 before)
{
    m_bytes += m_chunks.back().chunk.bytesUsed() - before;
}
