#include "modelloader.h"

#include "velmordevicemodel.h"

QByteArray ModelLoader::boilerRoom()
{
    return "device: Boiler room 2\n"
           "protocol: ModBUS RTU\n"
           "port: COM3\n"
           "baudrate: 19200\n"
           "id: 1\n"
           "variables:\n"
           "  - name: T1\n"
           "    addr: 0x10\n"
           "    type: int16\n"
           "    desc: Supply temperature\n"
           "  - name: Mode\n"
           "    addr: 20\n"
           "    type: int16\n"
           "    rw: true\n"
           "    bitfield: true\n"
           "  - name: K\n"
           "    addr: 30\n"
           "    type: float32\n"
           "    rw: true\n";
}

QByteArray ModelLoader::withVariables(const QByteArray &variablesBlock)
{
    return "protocol: ModBUS RTU\n"
           "variables:\n" + variablesBlock;
}

std::unique_ptr<VelmorDeviceModel> ModelLoader::load(const QByteArray &contents)
{
    return loadPath(write(contents));
}

std::unique_ptr<VelmorDeviceModel> ModelLoader::loadPath(const QString &filePath)
{
    return std::make_unique<VelmorDeviceModel>(filePath);
}

QString ModelLoader::write(const QByteArray &contents)
{
    return m_dir.write(QStringLiteral("device%1.yml").arg(++m_written), contents);
}

QString ModelLoader::folder() const
{
    return m_dir.path();
}
