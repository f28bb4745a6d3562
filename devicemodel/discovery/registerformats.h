#ifndef REGISTERFORMATS_H
#define REGISTERFORMATS_H

#include <QString>
#include <QStringList>
#include <QVector>

// Raw registers as the engineer compares them: each register in hex, unsigned, signed and
// binary; each pair as int32, uint32 and float32 in the four word orders.
namespace RegisterFormats {

struct Single
{
    QString hex;
    QString unsignedText;
    QString signedText;
    QString binary;
};

struct Pair
{
    // By order, in orderNames() order.
    QStringList int32;
    QStringList uint32;
    QStringList float32;
};

QStringList orderNames(); // "ABCD", "CDAB", "BADC", "DCBA"
Single single(quint16 word);
// The pair of words at index and index + 1.
Pair pair(quint16 first, quint16 second);

} // namespace RegisterFormats

#endif // REGISTERFORMATS_H
