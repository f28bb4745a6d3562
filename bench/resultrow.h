#ifndef RESULTROW_H
#define RESULTROW_H

#include <QString>
#include <QVector>

// One line of the results table, printed as a Markdown table row on standard output,
// so that scripts/bench.sh can gather the rows of all programs under one header.
class ResultRow
{
public:
    QString benchmark;
    QString measured;
    QString reference;
    QString ratio;
    QString target;
    QString met; // "yes", "no", or empty where no target applies

    void print() const;

    static QString number(double value, int decimals);
    static QString verdict(bool met);
    static double median(QVector<double> values);
};

#endif // RESULTROW_H
