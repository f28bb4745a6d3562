#include "workspace.h"

#include "velmordevicemodel.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QMainWindow>
#include <QSettings>
#include <QTreeView>

namespace {

const QString devicesKey = QStringLiteral("workspace/devices");
const QString fileKey = QStringLiteral("file");
const QString linkKey = QStringLiteral("link");
const QString recentKey = QStringLiteral("workspace/recentFiles");
const QString geometryKey = QStringLiteral("workspace/geometry");
const QString columnsKey = QStringLiteral("workspace/columnWidths");

} // namespace

Workspace::Workspace(QMainWindow *window, QTreeView *variableTable, Opener opener)
    : QObject(window)
    , m_window(window)
    , m_variableTable(variableTable)
    , m_opener(std::move(opener))
{
}

void Workspace::deviceOpened(VelmorDeviceModel *device, const QString &fileName)
{
    const QString absolute = QFileInfo(fileName).absoluteFilePath();
    m_fileNames.insert(device, absolute);
    m_fileSettings.insert(device, linkSettingsOf(device));
    connect(device, &QObject::destroyed, this, [this, device] {
        m_fileNames.remove(device);
        m_fileSettings.remove(device);
    });
    m_recentFiles.removeAll(absolute);
    m_recentFiles.prepend(absolute);
    while (m_recentFiles.size() > recentFileCount)
        m_recentFiles.removeLast();
}

QStringList Workspace::recentFiles() const
{
    return m_recentFiles;
}

void Workspace::applyColumnWidths()
{
    for (int column = 0; column < m_columnWidths.size(); ++column) {
        if (m_columnWidths.at(column) > 0)
            m_variableTable->setColumnWidth(column, m_columnWidths.at(column));
    }
}

void Workspace::restore()
{
    QSettings settings;
    m_window->restoreGeometry(settings.value(geometryKey).toByteArray());
    for (const QVariant &width : settings.value(columnsKey).toList())
        m_columnWidths.append(width.toInt());
    const QStringList recent = settings.value(recentKey).toStringList();
    restoreDevices();
    // Opening the remembered devices put them first; the order of last time wins.
    m_recentFiles = recent.mid(0, recentFileCount);
}

void Workspace::save(const QList<VelmorDeviceModel *> &openDevices)
{
    rememberColumnWidths();
    QSettings settings;
    settings.setValue(geometryKey, m_window->saveGeometry());
    QVariantList widths;
    for (int width : m_columnWidths)
        widths.append(width);
    settings.setValue(columnsKey, widths);
    settings.setValue(recentKey, m_recentFiles);
    settings.beginWriteArray(devicesKey, openDevices.size());
    for (int index = 0; index < openDevices.size(); ++index) {
        settings.setArrayIndex(index);
        settings.setValue(fileKey, m_fileNames.value(openDevices.at(index)));
        settings.setValue(linkKey, changedLinkSettings(openDevices.at(index)));
    }
    settings.endArray();
}

QStringList Workspace::rememberedProperties()
{
    return {QStringLiteral("devId"),           QStringLiteral("serialPort"),    QStringLiteral("baudRate"),
            QStringLiteral("parity"),          QStringLiteral("stopBits"),      QStringLiteral("dataBits"),
            QStringLiteral("tcpHost"),         QStringLiteral("tcpPort"),       QStringLiteral("interUpdateDelay"),
            QStringLiteral("interQueryDelay"), QStringLiteral("blockRegisters"), QStringLiteral("gapRegisters"),
            QStringLiteral("responseTimeoutMs"), QStringLiteral("retries"),     QStringLiteral("wordOrder")};
}

QVariantMap Workspace::linkSettingsOf(const VelmorDeviceModel *device)
{
    QVariantMap settings;
    for (const QString &name : rememberedProperties()) {
        const QVariant value = device->property(name.toLatin1().constData());
        if (value.isValid())
            settings.insert(name, value);
    }
    return settings;
}

QVariantMap Workspace::changedLinkSettings(VelmorDeviceModel *device) const
{
    const QVariantMap fromFile = m_fileSettings.value(device);
    QVariantMap changed = linkSettingsOf(device);
    for (auto setting = changed.begin(); setting != changed.end();)
        setting = fromFile.value(setting.key()) == setting.value() ? changed.erase(setting) : std::next(setting);
    return changed;
}

void Workspace::rememberColumnWidths()
{
    const QHeaderView *header = m_variableTable->header();
    if (!m_variableTable->model())
        return;
    m_columnWidths.clear();
    for (int column = 0; column < header->count(); ++column)
        m_columnWidths.append(header->sectionSize(column));
}

void Workspace::restoreDevices()
{
    QSettings settings;
    const int count = settings.beginReadArray(devicesKey);
    QList<QPair<QString, QVariantMap>> remembered;
    for (int index = 0; index < count; ++index) {
        settings.setArrayIndex(index);
        remembered.append({settings.value(fileKey).toString(), settings.value(linkKey).toMap()});
    }
    settings.endArray();
    for (const auto &entry : remembered) {
        VelmorDeviceModel *device = m_opener(entry.first);
        if (!device)
            continue;
        for (auto setting = entry.second.cbegin(); setting != entry.second.cend(); ++setting)
            device->setProperty(setting.key().toLatin1().constData(), setting.value());
    }
}
