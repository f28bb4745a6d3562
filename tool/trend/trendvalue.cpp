#include "trendvalue.h"

#include <charconv>
#include <cmath>

QString TrendValue::text(double value)
{
    if (std::isnan(value))
        return QStringLiteral("—");
    // Whole numbers of every type exactly; fractions (a float32 reading, a mean) to the
    // seven digits a float32 holds.
    constexpr double exactIntegers = 9007199254740992.0;
    if (value == std::trunc(value) && std::fabs(value) < exactIntegers)
        return QString::number(qint64(value));
    return QString::number(value, 'g', 7);
}
