#ifndef MODELLOADER_H
#define MODELLOADER_H

#include "descriptiondir.h"

#include <QByteArray>
#include <QString>

#include <memory>

class VelmorDeviceModel;

// Writes description texts into a temporary folder and builds models from them.
class ModelLoader
{
public:
    // The Modbus RTU boiler room: three variables, ids 1 and 2 writable.
    static QByteArray boilerRoom();
    // A valid "ModBUS RTU" description whose "variables" block is the given text.
    static QByteArray withVariables(const QByteArray &variablesBlock);

    std::unique_ptr<VelmorDeviceModel> load(const QByteArray &contents);
    std::unique_ptr<VelmorDeviceModel> loadPath(const QString &filePath);
    QString write(const QByteArray &contents);
    QString folder() const;

private:
    DescriptionDir m_dir;
    int m_written = 0;
};

#endif // MODELLOADER_H
