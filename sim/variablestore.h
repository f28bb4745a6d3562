#ifndef VARIABLESTORE_H
#define VARIABLESTORE_H

#include "devicedescription.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QVector>

// The values of a controller's variables and the register layouts through which the
// tools read and write them. Each value is held as a 32-bit word: the float's bit
// pattern for "float32", the 16-bit value in the low half for "int16", the integer
// otherwise. Read-only values move over time unless the store is static.
class VariableStore
{
public:
    enum Access {
        Done,
        UnknownAddress,
        ReadOnly
    };

    VariableStore(const QVector<SimVariable> &variables, bool animated);

    int count() const { return m_variables.size(); }
    const SimVariable &variable(int index) const { return m_variables.at(index); }
    // The current word, read-only values moved on by the time since the store was made.
    quint32 word(int index) const;
    QString valueText(int index) const;

    // Modbus reads: each variable's registers in its word order, an int16 value in its
    // one register. Every register of the range must belong to a variable of that table
    // unless unusedReadZero, which reads the registers no variable uses as 0.
    Access readRegisters(bool input, quint16 start, int count, bool unusedReadZero, QVector<quint16> *values) const;
    // Modbus writes, in each variable's word order as well. The range must cover whole
    // writable variables; nothing is stored unless all of it is accepted.
    Access writeRegisters(quint16 start, const QVector<quint16> &values, QVector<int> *written);

    // Velmorbus: 4 data bytes little-endian; an int16 value reads in bytes 2..3 and is
    // written in bytes 0..1.
    int findByAddress(quint16 addr) const;
    QByteArray readBytes(int index) const;
    Access writeBytes(int index, const QByteArray &bytes);

    static QString wordText(const SimVariable &variable, quint32 word);

private:
    static quint32 initialWord(const SimVariable &variable);
    quint32 movedWord(int index, double seconds) const;
    int findRegisterOwner(bool input, int reg) const;
    int findWritable(quint16 addr, Access *access) const;

    QVector<SimVariable> m_variables;
    QVector<quint32> m_words;
    QElapsedTimer m_sinceStart;
    bool m_animated;
};

#endif // VARIABLESTORE_H
