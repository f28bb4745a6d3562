#include "registerlayout.h"

#include <cstring>
#include <sstream>

namespace RegisterLayout {

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

quint32 rawWordFromModbusRead(quint16 firstRegister, quint16 secondRegister)
{
    return quint32(firstRegister) << 16 | secondRegister;
}

quint16 modbusWriteRegister(quint32 pattern, int registerIndex)
{
    return quint16(registerIndex == 0 ? pattern : pattern >> 16);
}

std::string floatText(float value)
{
    std::ostringstream stream;
    stream.precision(7);
    stream << value;
    return stream.str();
}

quint32 floatPattern(float value)
{
    quint32 pattern;
    std::memcpy(&pattern, &value, sizeof pattern);
    return pattern;
}

bool heldTextFromRawWord(Type type, bool bitfield, quint32 rawWord, std::string *text)
{
    switch (type) {
    case Type::Untyped:
        *text = std::to_string(qint32(rawWord));
        return true;
    case Type::Float32: {
        float value;
        std::memcpy(&value, &rawWord, sizeof value);
        *text = floatText(value);
        return true;
    }
    case Type::Int16: {
        const quint16 upper = quint16(rawWord >> 16);
        *text = bitfield ? std::to_string(upper) : std::to_string(qint16(upper));
        return true;
    }
    case Type::Int32:
        *text = bitfield ? std::to_string(rawWord) : std::to_string(qint32(rawWord));
        return true;
    case Type::Unknown:
        break;
    }
    return false;
}

} // namespace RegisterLayout
