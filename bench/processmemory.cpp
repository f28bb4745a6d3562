#include "processmemory.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <unistd.h>

qint64 ProcessMemory::currentKiB()
{
    return statusField("VmRSS:");
}

qint64 ProcessMemory::peakKiB()
{
    return statusField("VmHWM:");
}

double ProcessMemory::cpuSeconds(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = file.readAll();
    // The command name in parentheses may hold blanks; fields are counted after it.
    const int close = line.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    // utime and stime are fields 14 and 15 of the line, 12 and 13 after the name.
    if (fields.size() < 13)
        return -1;
    const double ticks = fields.at(11).toDouble() + fields.at(12).toDouble();
    return ticks / double(sysconf(_SC_CLK_TCK));
}

qint64 ProcessMemory::statusField(const char *name)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    // /proc files report size 0, so atEnd() cannot be trusted: read the whole text.
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith(name))
            return line.mid(int(qstrlen(name))).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}
