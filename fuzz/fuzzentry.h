#ifndef FUZZENTRY_H
#define FUZZENTRY_H

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// libFuzzer treats an abort as a finding and keeps the input that caused it.
inline int reportFinding(const QString &failure)
{
    if (failure.isEmpty())
        return 0;
    std::fprintf(stderr, "check failed: %s\n", qPrintable(failure));
    std::abort();
}

inline QByteArray fuzzInput(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), int(size));
}

#endif // FUZZENTRY_H
