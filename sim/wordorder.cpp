#include "wordorder.h"

#include <QtEndian>

namespace {

struct NamedOrder
{
    const char *name;
    const char *readLetters;
    const char *writeLetters;
};

const NamedOrder namedOrders[] = {
    {"ABCD", "ABCD", "ABCD"},
    {"CDAB", "CDAB", "CDAB"},
    {"BADC", "BADC", "BADC"},
    {"DCBA", "DCBA", "DCBA"},
    // What the tools did before the key existed: reads take the upper word first, writes
    // put the lower word first.
    {"legacy", "ABCD", "CDAB"},
};

// The value byte that travels at a place: A the most significant of byteCount bytes.
int valueByteAt(const QByteArray &letters, int place, int byteCount)
{
    return (letters.at(place) - 'A') % byteCount;
}

} // namespace

QStringList WordOrder::names()
{
    QStringList result;
    for (const NamedOrder &order : namedOrders)
        result.append(QLatin1String(order.name));
    return result;
}

bool WordOrder::fromName(const QString &name, WordOrder *order)
{
    for (const NamedOrder &named : namedOrders) {
        if (name == QLatin1String(named.name)) {
            order->m_name = name;
            order->m_readLetters = named.readLetters;
            order->m_writeLetters = named.writeLetters;
            return true;
        }
    }
    return false;
}

QVector<quint16> WordOrder::registersRead(quint32 word, int registerCount) const
{
    const int byteCount = 2 * registerCount;
    QByteArray value(byteCount, '\0');
    for (int i = 0; i < byteCount; ++i)
        value[i] = char(word >> (8 * (byteCount - 1 - i)));
    QByteArray wire(byteCount, '\0');
    for (int place = 0; place < byteCount; ++place)
        wire[place] = value.at(valueByteAt(m_readLetters, place, byteCount));
    QVector<quint16> registers;
    for (int i = 0; i < registerCount; ++i)
        registers.append(qFromBigEndian<quint16>(wire.constData() + 2 * i));
    return registers;
}

quint32 WordOrder::wordWritten(const QVector<quint16> &registers) const
{
    const int byteCount = 2 * registers.size();
    QByteArray wire(byteCount, '\0');
    for (int i = 0; i < registers.size(); ++i)
        qToBigEndian(registers.at(i), wire.data() + 2 * i);
    QByteArray value(byteCount, '\0');
    for (int place = 0; place < byteCount; ++place)
        value[valueByteAt(m_writeLetters, place, byteCount)] = wire.at(place);
    quint32 word = 0;
    for (char byte : qAsConst(value))
        word = word << 8 | quint8(byte);
    return word;
}
