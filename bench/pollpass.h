#ifndef POLLPASS_H
#define POLLPASS_H

#include <QtGlobal>

#include <functional>

// One pass of a client over all variables: its wall time and the processor time that
// this process spent meanwhile.
class PollPass
{
public:
    // pass reads every variable once and returns its elapsed nanoseconds, or -1 on failure.
    static PollPass run(const std::function<qint64()> &pass, int variableCount);

    bool failed() const;
    double perSecond() const;
    double cpuMicrosecondsPerVariable() const;

private:
    qint64 m_wallNs = -1;
    qint64 m_cpuNs = 0;
    int m_variableCount = 0;
};

#endif // POLLPASS_H
