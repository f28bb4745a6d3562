#include "trendenvelopefold.h"

#include "trendchunklist.h"

#include <algorithm>

TrendEnvelopeFold::TrendEnvelopeFold(qint64 widthMs, TrendChunkList &out)
    : m_widthMs(widthMs)
    , m_out(out)
{
}

void TrendEnvelopeFold::add(const TrendSample &sample)
{
    if (m_open && !sample.isGap() && sample.timeMs - m_bucket.timeMs < m_widthMs) {
        m_bucket.min = std::min(m_bucket.min, sample.min);
        m_bucket.max = std::max(m_bucket.max, sample.max);
        return;
    }
    finish();
    if (sample.isGap()) {
        m_out.append(sample);
        return;
    }
    m_bucket = sample;
    m_open = true;
}

void TrendEnvelopeFold::finish()
{
    if (m_open)
        m_out.append(m_bucket);
    m_open = false;
}
