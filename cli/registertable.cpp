#include "registertable.h"

#include "registerformats.h"
#include "tableprinter.h"

#include <QTextStream>

namespace RegisterTable {

namespace {

void printRows(QTextStream &out, const QVector<QStringList> &rows)
{
    const QVector<int> widths = TablePrinter::columnWidths(rows);
    for (const QStringList &cells : rows)
        out << TablePrinter::formatRow(cells, widths) << '\n';
}

QVector<QStringList> registerRows(int firstRegister, const QVector<quint16> &words)
{
    QVector<QStringList> rows {{QStringLiteral("Register"), QStringLiteral("Hex"), QStringLiteral("Unsigned"),
                                QStringLiteral("Signed"), QStringLiteral("Binary")}};
    for (int index = 0; index < words.size(); ++index) {
        const RegisterFormats::Single formats = RegisterFormats::single(words.at(index));
        rows.append({QString::number(firstRegister + index), formats.hex, formats.unsignedText, formats.signedText,
                     formats.binary});
    }
    return rows;
}

// A 32-bit value may start at any register, so every neighbouring pair is shown.
QVector<QStringList> pairRows(int firstRegister, const QVector<quint16> &words)
{
    QVector<QStringList> rows {QStringList {QStringLiteral("Registers"), QStringLiteral("Type")}
                               + RegisterFormats::orderNames()};
    for (int index = 0; index + 1 < words.size(); ++index) {
        const RegisterFormats::Pair formats = RegisterFormats::pair(words.at(index), words.at(index + 1));
        const QString registers = QStringLiteral("%1-%2").arg(firstRegister + index).arg(firstRegister + index + 1);
        rows.append(QStringList {registers, QStringLiteral("int32")} + formats.int32);
        rows.append(QStringList {registers, QStringLiteral("uint32")} + formats.uint32);
        rows.append(QStringList {registers, QStringLiteral("float32")} + formats.float32);
    }
    return rows;
}

} // namespace

void print(QTextStream &out, int firstRegister, const QVector<quint16> &words)
{
    printRows(out, registerRows(firstRegister, words));
    if (words.size() > 1) {
        out << '\n';
        printRows(out, pairRows(firstRegister, words));
    }
    out.flush();
}

} // namespace RegisterTable
