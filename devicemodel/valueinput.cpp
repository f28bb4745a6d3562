#include "valueinput.h"

#include <cmath>
#include <limits>

namespace ValueInput {

namespace {

bool isText(const QVariant &value)
{
    return value.userType() == QMetaType::QString || value.userType() == QMetaType::QByteArray;
}

bool isFloatingPoint(const QVariant &value)
{
    return value.userType() == QMetaType::Double || value.userType() == QMetaType::Float;
}

bool wholeNumber(const QVariant &value, qint64 *number)
{
    bool converted = false;
    if (isText(value)) {
        *number = value.toString().trimmed().toLongLong(&converted, 10);
        return converted;
    }
    if (isFloatingPoint(value)) {
        const double real = value.toDouble(&converted);
        // A fraction would be rounded away unseen.
        if (!converted || !std::isfinite(real) || std::trunc(real) != real || std::fabs(real) > 1e18)
            return false;
        *number = qint64(real);
        return true;
    }
    *number = value.toLongLong(&converted);
    return converted;
}

bool realNumber(const QVariant &value, double *number)
{
    bool converted = false;
    if (isText(value))
        *number = value.toString().trimmed().replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&converted);
    else
        *number = value.toDouble(&converted);
    return converted && !std::isnan(*number);
}

bool within(double number, const Range &limits)
{
    return number >= limits.minimum && number <= limits.maximum;
}

} // namespace

Range range(RegisterLayout::Type type, bool bitfield)
{
    switch (type) {
    case RegisterLayout::Type::Int16:
        return bitfield ? Range {0, std::numeric_limits<quint16>::max()}
                        : Range {std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max()};
    case RegisterLayout::Type::Float32:
        return {-std::numeric_limits<float>::max(), std::numeric_limits<float>::max()};
    default:
        return bitfield ? Range {0, double(std::numeric_limits<quint32>::max())}
                        : Range {double(std::numeric_limits<qint32>::min()), std::numeric_limits<qint32>::max()};
    }
}

Parsed parse(const QVariant &value, RegisterLayout::Type type, bool bitfield)
{
    Parsed parsed;
    const Range limits = range(type, bitfield);
    if (type == RegisterLayout::Type::Float32) {
        double number = 0;
        if (!realNumber(value, &number))
            return parsed;
        parsed.check = within(number, limits) ? VelmorDeviceModel::ValueAccepted : VelmorDeviceModel::ValueOutOfRange;
        parsed.number = double(float(number));
        return parsed;
    }
    qint64 number = 0;
    if (!wholeNumber(value, &number))
        return parsed;
    parsed.check = within(double(number), limits) ? VelmorDeviceModel::ValueAccepted : VelmorDeviceModel::ValueOutOfRange;
    parsed.number = double(number);
    return parsed;
}

} // namespace ValueInput
