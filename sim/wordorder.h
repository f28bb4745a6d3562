#ifndef WORDORDER_H
#define WORDORDER_H

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

// How a Modbus variable's value lies in its registers ("wordorder"), held as the letters
// of the order's name: the bytes of the value, A the most significant, in the order they
// travel, first register first. An int16 has the bytes A and B only; the orders that put
// the lower word first name them C and D.
// Kept apart from the tools' own layout code on purpose: the simulator is their test
// oracle, and a layout shared with them would agree with any fault of theirs.
class WordOrder
{
public:
    // The names a description file may give, exactly as written.
    static QStringList names();
    static bool fromName(const QString &name, WordOrder *order);

    QString name() const { return m_name; }
    // The registers a read returns for a word (an int16 in its low 16 bits).
    QVector<quint16> registersRead(quint32 word, int registerCount) const;
    // The word a write of these registers stores.
    quint32 wordWritten(const QVector<quint16> &registers) const;

private:
    QString m_name = QStringLiteral("ABCD");
    QByteArray m_readLetters = "ABCD";
    QByteArray m_writeLetters = "ABCD";
};

#endif // WORDORDER_H
