#ifndef PROCESSMEMORY_H
#define PROCESSMEMORY_H

#include <QtGlobal>

// Memory and processor use of a process, read from /proc.
class ProcessMemory
{
public:
    // Resident set of this process now, and its high-water mark, in KiB.
    static qint64 currentKiB();
    static qint64 peakKiB();
    // User plus system processor time of a process, in seconds; -1 when unreadable.
    static double cpuSeconds(qint64 pid);

private:
    static qint64 statusField(const char *name);
};

#endif // PROCESSMEMORY_H
