#ifndef REGISTERLAYOUT_H
#define REGISTERLAYOUT_H

#include <QtGlobal>

#include <string>

// How a variable's value lies in Modbus registers and in Velmorbus data bytes.
// A read gives a raw word (unsigned 32 bits); a write takes a 32-bit pattern.
namespace RegisterLayout {

enum class Type {
    Untyped,  // no "type": signed 32-bit
    Int16,
    Int32,
    Float32,
    Unknown   // a "type" text we do not know: read like 32 bits, never stored
};

Type typeFromText(const std::string *typeText);

// Modbus registers read and written: 1 for int16, 2 otherwise.
int modbusRegisterCount(Type type);

// Modbus reads take the first register as the upper half of the raw word.
quint32 rawWordFromModbusRead(quint16 firstRegister, quint16 secondRegister);
// Modbus writes put the lower half of the pattern into the first register.
quint16 modbusWriteRegister(quint32 pattern, int registerIndex);

// The held text of a value read as the raw word; false for Type::Unknown (nothing stored).
bool heldTextFromRawWord(Type type, bool bitfield, quint32 rawWord, std::string *text);

// Held text of a float: general notation with 7 significant digits, like printf "%.7g".
std::string floatText(float value);

quint32 floatPattern(float value);

} // namespace RegisterLayout

#endif // REGISTERLAYOUT_H
