#ifndef WINDOWDRIVER_H
#define WINDOWDRIVER_H

#include "menuchoice.h"

#include <QModelIndex>
#include <QPoint>
#include <QString>

class MainWindow;
class QAction;
class QListWidget;
class QTreeView;
class VelmorDeviceModel;

// Drives a main window as a user does and reads what it shows.
class WindowDriver
{
public:
    explicit WindowDriver(MainWindow &window);

    QListWidget *deviceList() const;
    QTreeView *variableTree() const;
    QString statusText() const;
    QAction *action(const char *name) const;
    VelmorDeviceModel *deviceAt(int row) const;
    QStringList entryTexts() const;

    // Loads a description file through the window's own slot; returns the new device
    // (the last one in the list).
    VelmorDeviceModel *addDevice(const QString &path);
    // Right-click at pos: the press makes the item current, then the context menu event follows.
    void rightClick(const QPoint &pos);
    QPoint itemCentre(int row) const;
    // Opens the device's context menu and picks an entry (none: just closes it).
    MenuChoice chooseFromMenu(int row, const QString &choice = QString());
    // Press, release, then the double-click event and its release.
    void doubleClick(const QModelIndex &index);

private:
    MainWindow &m_window;
};

#endif // WINDOWDRIVER_H
