#ifndef DIAGNOSTIC_H
#define DIAGNOSTIC_H

#include <QString>

// One problem found in a description file, at a 1-based line and column (columns count
// bytes, as yaml-cpp's marks do).
struct Diagnostic
{
    enum class Severity {
        Warning,
        Error
    };

    Severity severity = Severity::Error;
    int line = 1;
    int column = 1;
    QString text;

    // FILE:LINE:COLUMN: error|warning: what
    QString format(const QString &fileName) const;
};

#endif // DIAGNOSTIC_H
