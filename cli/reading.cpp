#include "reading.h"

#include "variablelabel.h"

#include <cmath>

namespace {

// The digits a float32 holds and the model's text of it shows.
const int floatSignificantDigits = 7;

// Scaled by an exact power of ten, so that the result is the double nearest to the
// rounded decimal, as reading its text would give.
double roundedToSignificantDigits(double value, int digits)
{
    if (value == 0 || !std::isfinite(value))
        return value;
    const int exponent = digits - 1 - int(std::floor(std::log10(std::fabs(value))));
    if (exponent >= 0) {
        const double scale = std::pow(10.0, exponent);
        return std::round(value * scale) / scale;
    }
    const double scale = std::pow(10.0, -exponent);
    return std::round(value / scale) * scale;
}

} // namespace

Reading Reading::of(const VelmorDeviceModel *model, int id)
{
    Reading reading;
    reading.id = id;
    reading.label = variableLabel(model, id);
    reading.value = model->getVarValue(unsigned(id));
    reading.text = model->getVarAttr(unsigned(id), QStringLiteral("value")).toString();
    reading.quality = model->varQuality(unsigned(id));
    reading.readTime = model->varLastReadTime(unsigned(id));
    reading.number = numberOf(reading.value, model->isVarBitfield(unsigned(id)));
    return reading;
}

double Reading::numberOf(const QVariant &value, bool bitfield)
{
    if (value.userType() == QMetaType::Float)
        return roundedToSignificantDigits(double(value.toFloat()), floatSignificantDigits);
    if (bitfield)
        return double(quint32(value.toInt()));
    return double(value.toInt());
}
