#include "descriptiondir.h"

#include <QFile>

QString DescriptionDir::write(const QString &fileName, const QByteArray &contents)
{
    const QString filePath = m_dir.filePath(fileName);
    QFile file(filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("Unable to write test file %s", qPrintable(filePath));
    file.write(contents);
    return filePath;
}

QString DescriptionDir::path() const
{
    return m_dir.path();
}
