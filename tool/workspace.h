#ifndef WORKSPACE_H
#define WORKSPACE_H

#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <functional>

class QMainWindow;
class QTreeView;
class VelmorDeviceModel;

// What velmor-tool remembers between runs, in QSettings: the open description files with
// the link settings changed for each, the window's geometry, the widths of the variable
// table's columns and the files opened last.
class Workspace : public QObject
{
    Q_OBJECT

public:
    // Opens a description file, or selects it when it is open; null when it cannot load.
    using Opener = std::function<VelmorDeviceModel *(const QString &fileName)>;

    static constexpr int recentFileCount = 10;

    Workspace(QMainWindow *window, QTreeView *variableTable, Opener opener);

    // Notes a device just loaded: its settings as the file gives them, and the file as
    // recently opened.
    void deviceOpened(VelmorDeviceModel *device, const QString &fileName);
    QStringList recentFiles() const;
    // Lays out the variable table's columns as they were left.
    void applyColumnWidths();

    void restore();
    void save(const QList<VelmorDeviceModel *> &openDevices);

private:
    static QStringList rememberedProperties();
    static QVariantMap linkSettingsOf(const VelmorDeviceModel *device);
    QVariantMap changedLinkSettings(VelmorDeviceModel *device) const;
    void rememberColumnWidths();
    void restoreDevices();

    QMainWindow *m_window;
    QTreeView *m_variableTable;
    Opener m_opener;
    QHash<const VelmorDeviceModel *, QString> m_fileNames;
    QHash<const VelmorDeviceModel *, QVariantMap> m_fileSettings;
    QStringList m_recentFiles;
    QList<int> m_columnWidths;
};

#endif // WORKSPACE_H
