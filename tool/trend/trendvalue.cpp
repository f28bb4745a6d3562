#include "trendvalue.h"

#include <charconv>
#include <cmath>

QString TrendValue::text(double value)
{
    if (std::isnan(value))
        return QStringLiteral("—");
    char digits[32];
    const std::to_chars_result written = std::to_chars(digits, digits + sizeof digits, value);
    return QString::fromLatin1(digits, int(written.ptr - digits));
}
