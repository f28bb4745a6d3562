#include "trendcsvformat.h"

#include <QDateTime>

#include <charconv>
#include <cmath>

namespace {

// Beyond 2^53 a double holds no longer every whole number; the shortest form is then exact.
constexpr double largestExactWhole = 9007199254740992.0;

} // namespace

namespace TrendCsvFormat {

QString timeText(qint64 timeMs)
{
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(timeMs);
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

bool readTime(const QString &text, qint64 *timeMs)
{
    const QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!time.isValid())
        return false;
    *timeMs = time.toMSecsSinceEpoch();
    return true;
}

QString numberText(double value)
{
    char digits[64];
    // Fixed form for whole numbers, so that 10000000 stays an integer and not 1e+07.
    const bool whole = std::fabs(value) <= largestExactWhole && std::trunc(value) == value;
    const std::to_chars_result written = whole
                                             ? std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed)
                                             : std::to_chars(digits, digits + sizeof digits, value);
    return QString::fromLatin1(digits, int(written.ptr - digits));
}

bool readNumber(const QString &text, double *value)
{
    const QByteArray digits = text.toLatin1();
    const char *end = digits.constData() + digits.size();
    const std::from_chars_result read = std::from_chars(digits.constData(), end, *value);
    return !text.isEmpty() && read.ec == std::errc() && read.ptr == end && std::isfinite(*value);
}

} // namespace TrendCsvFormat
