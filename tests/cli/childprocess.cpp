#include "childprocess.h"

#include <csignal>
#include <sys/resource.h>

void ChildProcess::setFileSizeLimit(qint64 bytes)
{
    m_fileSizeLimitBytes = bytes;
}

// Runs in the child between fork and exec.
void ChildProcess::setupChildProcess()
{
    if (m_fileSizeLimitBytes <= 0)
        return;
    // A write past the limit then fails with EFBIG, as on a full disk, instead of
    // killing the program with SIGXFSZ.
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{rlim_t(m_fileSizeLimitBytes), rlim_t(m_fileSizeLimitBytes)};
    setrlimit(RLIMIT_FSIZE, &limit);
}
