#ifndef VALUESETTER_H
#define VALUESETTER_H

#include <QString>
#include <QStringList>
#include <QVector>

class VelmorDeviceModel;

// Writes values to variables by name and, after the cycle that read them back,
// tells which ones the controller did not take.
class ValueSetter
{
public:
    explicit ValueSetter(VelmorDeviceModel *model);

    // Id of the first variable of that name, or -1.
    static int idOfName(const VelmorDeviceModel *model, const QString &name);
    static bool writable(const VelmorDeviceModel *model, int id);

    // Queues the write; false with the reason when the name is unknown, the variable
    // read-only or the text not a number that fits the variable.
    bool set(const QString &name, const QString &valueText, QString *errorText);
    void noteWriteFailure(const QString &name, const QString &reason);
    bool hasWrites() const;
    int writeCount() const;
    // One line per write not taken in the cycle that just finished.
    QStringList verify(const QVector<int> &failedIds) const;

private:
    struct Write {
        int id = -1;
        QString name;
        QString requested;
        bool isFloat = false;
        float floatValue = 0;
        qint64 bits = 0;
        QString failure;
    };

    bool parseValue(Write *write, QString *errorText) const;
    QString checkWrite(const Write &write, const QVector<int> &failedIds) const;
    bool readBackMatches(const Write &write, const QString &readBack) const;
    qint64 registerMask(int id) const;

    VelmorDeviceModel *m_model;
    QVector<Write> m_writes;
};

#endif // VALUESETTER_H
