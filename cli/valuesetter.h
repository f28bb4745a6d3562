#ifndef VALUESETTER_H
#define VALUESETTER_H

#include "variablewrite.h"

#include <QMultiHash>
#include <QString>
#include <QStringList>
#include <QVector>

class VelmorDeviceModel;

// Writes values to variables by name and, after the cycle that read them back,
// tells which ones the controller did not take.
class ValueSetter
{
public:
    enum class Outcome {
        Queued,
        // The reason is in errorText: no variable has that name (at that address), the
        // variable is read-only or the text is not a number that fits the variable.
        Refused,
        // More than one writable variable answers to what names it.
        Ambiguous
    };

    explicit ValueSetter(VelmorDeviceModel *model);

    static bool writable(const VelmorDeviceModel *model, int id);

    // Queues the write to the writable variable of that name.
    Outcome set(const QString &name, const QString &valueText, QString *errorText);
    // The same for the variable of that name at that address, as a dump file names it.
    Outcome setAt(const QString &name, const QString &addr, const QString &valueText, QString *errorText);
    void noteWriteFailure(int id, const QString &reason);
    bool hasWrites() const;
    int writeCount() const;
    // One line per write not taken in the cycle that just finished.
    QStringList verify(const QVector<int> &failedIds) const;

private:
    struct Write {
        VariableWrite value;
        QString failure;
    };

    // addr null: any address.
    Outcome queue(const QString &name, const QString *addr, const QString &valueText, QString *errorText);
    Outcome findTarget(const QString &name, const QString *addr, int *id, QString *errorText) const;
    QString checkWrite(const Write &write, const QVector<int> &failedIds) const;

    VelmorDeviceModel *m_model;
    QVector<Write> m_writes;
    // Variable ids by name: a restore looks up every name it saved.
    QMultiHash<QString, int> m_idsByName;
};

#endif // VALUESETTER_H
