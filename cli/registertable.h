#ifndef REGISTERTABLE_H
#define REGISTERTABLE_H

#include <QVector>

class QTextStream;

// Raw registers read by --probe as two plain text tables: each register in hex, unsigned,
// signed and binary; each pair of neighbouring registers as int32, uint32 and float32
// with the four word orders side by side.
namespace RegisterTable {

void print(QTextStream &out, int firstRegister, const QVector<quint16> &words);

} // namespace RegisterTable

#endif // REGISTERTABLE_H
