#include "variablestore.h"

#include <QtEndian>
#include <QtMath>

#include <cstring>

namespace {

// Read-only values swing around the value the file gives them, by a twentieth of it
// (at least one count, or 0.5 for floats) over half a minute, so that a demo looks like a
// plant; bit fields toggle one of their four low bits each second.
constexpr double SwingFraction = 0.05;
constexpr double MinimumFloatSwing = 0.5;
constexpr double SinePeriodSeconds = 30.0;
constexpr int ToggledBits = 4;

double swing(double base, double minimum, double seconds)
{
    const double amplitude = qMax(minimum, qAbs(base) * SwingFraction);
    return amplitude * qSin(2 * M_PI * seconds / SinePeriodSeconds);
}

quint32 floatBits(float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

float floatFromBits(quint32 bits)
{
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace

VariableStore::VariableStore(const QVector<SimVariable> &variables, bool animated)
    : m_variables(variables)
    , m_animated(animated)
{
    m_words.reserve(m_variables.size());
    for (const SimVariable &variable : m_variables)
        m_words.append(initialWord(variable));
    m_sinceStart.start();
}

quint32 VariableStore::initialWord(const SimVariable &variable)
{
    if (variable.isFloat32())
        return floatBits(float(variable.value));
    // Through 64 bits so that an unsigned 32-bit bit field keeps its pattern.
    const quint32 word = quint32(qint64(variable.value));
    return variable.isInt16() ? word & 0xFFFF : word;
}

quint32 VariableStore::word(int index) const
{
    const SimVariable &variable = m_variables.at(index);
    if (!m_animated || variable.rw)
        return m_words.at(index);
    return movedWord(index, m_sinceStart.elapsed() / 1000.0);
}

quint32 VariableStore::movedWord(int index, double seconds) const
{
    const SimVariable &variable = m_variables.at(index);
    const quint32 base = m_words.at(index);
    const int wholeSeconds = int(seconds);
    quint32 moved;
    if (variable.isFloat32()) {
        const float value = floatFromBits(base);
        moved = floatBits(value + float(swing(value, MinimumFloatSwing, seconds)));
    } else if (variable.bitfield) {
        moved = base ^ (1u << (wholeSeconds % ToggledBits));
    } else {
        const qint32 value = variable.isInt16() ? qint16(base) : qint32(base);
        moved = quint32(value + qint32(qRound(swing(value, 1.0, seconds))));
    }
    return variable.isInt16() ? moved & 0xFFFF : moved;
}

QString VariableStore::valueText(int index) const
{
    return wordText(m_variables.at(index), word(index));
}

QString VariableStore::wordText(const SimVariable &variable, quint32 word)
{
    if (variable.isFloat32())
        return QString::number(double(floatFromBits(word)), 'g', 7);
    if (variable.isInt16())
        return variable.bitfield ? QString::number(quint16(word)) : QString::number(qint16(word));
    if (variable.bitfield && variable.type == QLatin1String("int32"))
        return QString::number(word);
    return QString::number(qint32(word));
}

int VariableStore::findRegisterOwner(bool input, int reg) const
{
    for (int i = 0; i < m_variables.size(); ++i) {
        const SimVariable &variable = m_variables.at(i);
        if (variable.input == input && reg >= variable.addr && reg < variable.addr + variable.registerCount())
            return i;
    }
    return -1;
}

VariableStore::Access VariableStore::readRegisters(bool input, quint16 start, int count, bool unusedReadZero,
                                                   QVector<quint16> *values) const
{
    values->clear();
    for (int reg = start; reg < start + count; ++reg) {
        const int index = findRegisterOwner(input, reg);
        if (index < 0 && !unusedReadZero)
            return UnknownAddress;
        if (index < 0) {
            values->append(0);
            continue;
        }
        const SimVariable &variable = m_variables.at(index);
        values->append(variable.wordOrder.registersRead(word(index), variable.registerCount()).at(reg - variable.addr));
    }
    return Done;
}

int VariableStore::findWritable(quint16 addr, Access *access) const
{
    *access = UnknownAddress;
    int found = -1;
    for (int i = 0; i < m_variables.size(); ++i) {
        if (m_variables.at(i).addr != addr)
            continue;
        if (m_variables.at(i).rw) {
            *access = Done;
            return i;
        }
        *access = ReadOnly;
        found = i;
    }
    return found;
}

VariableStore::Access VariableStore::writeRegisters(quint16 start, const QVector<quint16> &values, QVector<int> *written)
{
    written->clear();
    QVector<quint32> newWords;
    int offset = 0;
    while (offset < values.size()) {
        Access access;
        const int index = findWritable(quint16(start + offset), &access);
        if (access != Done)
            return access;
        const SimVariable &variable = m_variables.at(index);
        if (offset + variable.registerCount() > values.size())
            return UnknownAddress;
        newWords.append(variable.wordOrder.wordWritten(values.mid(offset, variable.registerCount())));
        written->append(index);
        offset += variable.registerCount();
    }
    for (int i = 0; i < written->size(); ++i)
        m_words[written->at(i)] = newWords.at(i);
    return Done;
}

int VariableStore::findByAddress(quint16 addr) const
{
    for (int i = 0; i < m_variables.size(); ++i) {
        if (m_variables.at(i).addr == addr)
            return i;
    }
    return -1;
}

QByteArray VariableStore::readBytes(int index) const
{
    const quint32 current = word(index);
    const quint32 raw = m_variables.at(index).isInt16() ? current << 16 : current;
    QByteArray bytes(4, '\0');
    qToLittleEndian(raw, bytes.data());
    return bytes;
}

VariableStore::Access VariableStore::writeBytes(int index, const QByteArray &bytes)
{
    if (!m_variables.at(index).rw)
        return ReadOnly;
    const quint32 pattern = qFromLittleEndian<quint32>(bytes.constData());
    m_words[index] = m_variables.at(index).isInt16() ? pattern & 0xFFFF : pattern;
    return Done;
}
