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

    // Larger files are refused before parsing, as description files are: yaml-cpp takes
    // up to 240 times a file's size in memory.
    static const qint64 maxFileBytes;

    // Writes the writable variables whose value is known and was not lost in the last
    // cycle; the names left out go to skippedNames. An existing file is replaced only
    // once the new one is complete.
    static bool write(const QString &fileName, const VelmorDeviceModel *model, const QVector<int> &failedIds,
                      QStringList *skippedNames, QString *errorText);
    // False with the reason when the file cannot be read, is too large, is no such
    // file, lacks a name, address or value in some entry, or lists one twice.
    static bool read(const QString &fileName, QVector<Entry> *entries, QString *errorText);
};

#endif // DUMPFILE_H
