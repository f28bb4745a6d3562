#ifndef CHECKERCASES_H
#define CHECKERCASES_H

#include <QByteArray>
#include <QStringList>
#include <QVector>

// Small description files, one for each finding of the description checker, with the
// findings expected of it.
struct CheckerCase
{
    const char *name;
    QByteArray contents;
    // "LINE:COLUMN: error|warning: what", in file order; empty for a clean file.
    QStringList findings;
};

QVector<CheckerCase> checkerCases();

#endif // CHECKERCASES_H
