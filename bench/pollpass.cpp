#include "pollpass.h"

#include <ctime>

namespace {

qint64 processCpuNs()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

} // namespace

PollPass PollPass::run(const std::function<qint64()> &pass, int variableCount)
{
    PollPass result;
    const qint64 cpuBefore = processCpuNs();
    result.m_wallNs = pass();
    result.m_cpuNs = processCpuNs() - cpuBefore;
    result.m_variableCount = variableCount;
    return result;
}

bool PollPass::failed() const
{
    return m_wallNs < 0;
}

double PollPass::perSecond() const
{
    return m_variableCount * 1e9 / double(m_wallNs);
}

double PollPass::cpuMicrosecondsPerVariable() const
{
    return m_cpuNs / 1e3 / m_variableCount;
}
