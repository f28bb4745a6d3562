#ifndef TRENDENVELOPEFOLD_H
#define TRENDENVELOPEFOLD_H

#include "trendsample.h"

class TrendChunkList;

// Folds samples given in time order into one min/max envelope per time bucket, written to
// a list. A bucket starts at its first sample and is widthMs wide; a gap closes it and is
// kept as a gap, so no envelope spans a failed read.
class TrendEnvelopeFold
{
public:
    TrendEnvelopeFold(qint64 widthMs, TrendChunkList &out);

    void add(const TrendSample &sample);
    // Writes the open bucket.
    void finish();

private:
    qint64 m_widthMs;
    TrendChunkList &m_out;
    TrendSample m_bucket;
    bool m_open = false;
};

#endif // TRENDENVELOPEFOLD_H
