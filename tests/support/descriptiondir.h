#ifndef DESCRIPTIONDIR_H
#define DESCRIPTIONDIR_H

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A temporary folder for device description files written by a test.
class DescriptionDir
{
public:
    DescriptionDir() = default;

    // Writes the bytes as they are to a file of that name and returns its path.
    QString write(const QString &fileName, const QByteArray &contents);
    QString path() const;

private:
    QTemporaryDir m_dir;
};

#endif // DESCRIPTIONDIR_H
