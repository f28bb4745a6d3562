#include "registerlayout.h"

#include <cmath>
#include <cstring>
#include <sstream>

namespace RegisterLayout {

namespace {

// The digits a float32 holds and its held text shows.
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

Type typeFromText(const std::string *typeText)
{
    if (!typeText)
        return Type::Untyped;
    if (*typeText == "int16")
        return Type::Int16;
    if (*typeText == "int32")
        return Type::Int32;
    if (*typeText == "float32")
        return Type::Float32;
    return Type::Unknown;
}

int modbusRegisterCount(Type type)
{
    return type == Type::Int16 ? 1 : 2;
}

const std::vector<std::string> &wordOrderNames()
{
    static const std::vector<std::string> names {"ABCD", "CDAB", "BADC", "DCBA", "legacy"};
    return names;
}

bool wordOrderFromName(const std::string &name, WordOrder *order)
{
    const std::vector<std::string> &names = wordOrderNames();
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name) {
            *order = WordOrder(i);
            return true;
        }
    }
    return false;
}

std::string wordOrderName(WordOrder order)
{
    return wordOrderNames().at(size_t(order));
}

namespace {

bool swapsBytes(WordOrder order)
{
    return order == WordOrder::BADC || order == WordOrder::DCBA;
}

bool lowerWordFirst(WordOrder order)
{
    return order == WordOrder::CDAB || order == WordOrder::DCBA;
}

quint16 registerBytes(WordOrder order, quint16 value)
{
    return swapsBytes(order) ? quint16(value << 8 | value >> 8) : value;
}

} // namespace

quint32 rawWordFromModbusRead(WordOrder order, Type type, quint16 firstRegister, quint16 secondRegister)
{
    if (order == WordOrder::Legacy)
        order = WordOrder::ABCD;
    const quint32 first = registerBytes(order, firstRegister);
    if (modbusRegisterCount(type) == 1)
        return first << 16;
    const quint32 second = registerBytes(order, secondRegister);
    return lowerWordFirst(order) ? second << 16 | first : first << 16 | second;
}

quint16 modbusWriteRegister(WordOrder order, Type type, quint32 pattern, int registerIndex)
{
    if (order == WordOrder::Legacy)
        order = WordOrder::CDAB;
    const quint16 upper = quint16(pattern >> 16);
    const quint16 lower = quint16(pattern);
    if (modbusRegisterCount(type) == 1)
        return registerBytes(order, lower);
    const bool upperHere = (registerIndex == 0) != lowerWordFirst(order);
    return registerBytes(order, upperHere ? upper : lower);
}

std::string floatText(float value)
{
    std::ostringstream stream;
    stream.precision(floatSignificantDigits);
    stream << value;
    return stream.str();
}

double floatTextNumber(float value)
{
    return roundedToSignificantDigits(double(value), floatSignificantDigits);
}

quint32 floatPattern(float value)
{
    quint32 pattern;
    std::memcpy(&pattern, &value, sizeof pattern);
    return pattern;
}

bool valueFromRawWord(Type type, bool bitfield, quint32 rawWord, double *value)
{
    switch (type) {
    case Type::Untyped:
        *value = qint32(rawWord);
        return true;
    case Type::Float32: {
        float number;
        std::memcpy(&number, &rawWord, sizeof number);
        *value = number;
        return true;
    }
    case Type::Int16: {
        const quint16 upper = quint16(rawWord >> 16);
        *value = bitfield ? double(upper) : double(qint16(upper));
        return true;
    }
    case Type::Int32:
        *value = bitfield ? double(rawWord) : double(qint32(rawWord));
        return true;
    case Type::Unknown:
        break;
    }
    return false;
}

std::string heldText(Type type, double value)
{
    if (type == Type::Float32)
        return floatText(float(value));
    return std::to_string(qint64(value));
}

quint32 writePattern(Type type, double value)
{
    if (type == Type::Float32)
        return floatPattern(float(value));
    // Bit fields are held unsigned; the same 32 bits go out either way.
    return quint32(qint64(value));
}

} // namespace RegisterLayout
