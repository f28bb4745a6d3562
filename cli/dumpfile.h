#ifndef DUMPFILE_H
#define DUMPFILE_H

#include <QString>
#include <QStringList>
#include <QVector>

class VelmorDeviceModel;

// The YAML file of --dump and --restore: the name, address and value of every
// writable variable.
class DumpFile
{
public:
    struct Entry {
        QString name;
        QString addr;
        QString value;
    };

    // Writes the writable variables whose value is known and was not lost in the last
    // cycle; the names left out go to skippedNames.
    static bool write(const QString &fileName, const VelmorDeviceModel *model, const QVector<int> &failedIds,
                      QStringList *skippedNames, QString *errorText);
    static bool read(const QString &fileName, QVector<Entry> *entries, QString *errorText);
};

#endif // DUMPFILE_H
