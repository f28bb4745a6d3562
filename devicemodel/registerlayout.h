#ifndef REGISTERLAYOUT_H
#define REGISTERLAYOUT_H

#include <QtGlobal>

#include <string>
#include <vector>

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

// How a Modbus device lays a 32-bit value into two registers, named by the bytes of the
// value from the most significant (A) on: ABCD puts the upper word first and each register
// big-endian; CDAB the lower word first; BADC and DCBA swap the two bytes of each register
// (for int16 too). Legacy reads as ABCD and writes as CDAB, for controllers that expect
// the two directions to differ.
enum class WordOrder {
    ABCD,
    CDAB,
    BADC,
    DCBA,
    Legacy
};

// The names the description file and the programs use, in WordOrder's order.
const std::vector<std::string> &wordOrderNames();
bool wordOrderFromName(const std::string &name, WordOrder *order);
std::string wordOrderName(WordOrder order);

// Modbus registers read and written: 1 for int16, 2 otherwise.
int modbusRegisterCount(Type type);

// The raw word from the registers read; secondRegister is not used for int16.
quint32 rawWordFromModbusRead(WordOrder order, Type type, quint16 firstRegister, quint16 secondRegister);
// Register registerIndex of the modbusRegisterCount(type) registers written for pattern.
quint16 modbusWriteRegister(WordOrder order, Type type, quint32 pattern, int registerIndex);

// The value a raw word holds; false for Type::Unknown (nothing stored).
bool valueFromRawWord(Type type, bool bitfield, quint32 rawWord, double *value);
// The text a value of the type is shown and exported as: decimal, or for float32 "%.7g".
std::string heldText(Type type, double value);
// The 32-bit pattern a write sends for a value of the type.
quint32 writePattern(Type type, double value);

// Held text of a float: general notation with 7 significant digits, like printf "%.7g".
std::string floatText(float value);
// The number floatText() shows, as reading that text would give it, without the text.
double floatTextNumber(float value);

quint32 floatPattern(float value);

} // namespace RegisterLayout

#endif // REGISTERLAYOUT_H
