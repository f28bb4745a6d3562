#include "resultrow.h"

#include <algorithm>
#include <cstdio>

void ResultRow::print() const
{
    const QString line = QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 |")
                             .arg(benchmark, measured, reference, ratio, target.isEmpty() ? QStringLiteral("-") : target,
                                  met.isEmpty() ? QStringLiteral("-") : met);
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

QString ResultRow::number(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

QString ResultRow::verdict(bool met)
{
    return met ? QStringLiteral("yes") : QStringLiteral("no");
}

double ResultRow::median(QVector<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int mid = values.size() / 2;
    return values.size() % 2 ? values.at(mid) : (values.at(mid - 1) + values.at(mid)) / 2;
}
