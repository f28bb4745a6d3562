#ifndef TRENDCHUNKLIST_H
#define TRENDCHUNKLIST_H

#include "trendchunk.h"

#include <vector>

// The samples of one series in time order, kept in chunks, with a running count of the
// points and of the bytes allocated for them.
class TrendChunkList
{
public:
    // The time is not earlier than the last sample's.
    void append(const TrendSample &sample);

    int count() const { return m_count; }
    bool isEmpty() const { return m_count == 0; }
    TrendSample at(int index) const;
    TrendSample last() const;
    // Over the samples first to last, both included.
    TrendSpan span(int first, int last) const;
    int firstAtOrAfter(qint64 timeMs) const;
    int lastAtOrBefore(qint64 timeMs) const;
    qint64 bytesUsed() const { return m_bytes; }

    int chunkCount() const { return int(m_chunks.size()); }
    const TrendChunk &chunk(int position) const { return m_chunks[std::size_t(position)].chunk; }
    // Moves a chunk out (its memory then goes with it), leaving an empty one in its place.
    TrendChunk takeChunk(int position);
    // Appends a whole chunk after the last sample, as it is.
    void appendChunk(TrendChunk &&chunk);
    // Gives back the slack of the newest chunk.
    void shrinkToFit();

private:
    struct Entry
    {
        TrendChunk chunk;
        int firstIndex = 0;
    };

    int chunkOfIndex(int index) const;
    void addEntry(TrendChunk &&chunk);
    void countTailBytes(qint64 before);

    std::vector<Entry> m_chunks;
    int m_count = 0;
    qint64 m_bytes = 0;
};

#endif // TRENDCHUNKLIST_H
