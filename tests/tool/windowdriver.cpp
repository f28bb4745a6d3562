#include "windowdriver.h"

#include "mainwindow.h"
#include "modalwatcher.h"
#include "velmordevicemodel.h"

#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QStatusBar>
#include <QTreeView>
#include <QtTest>

WindowDriver::WindowDriver(MainWindow &window)
    : m_window(window)
{
}

QListWidget *WindowDriver::deviceList() const
{
    return m_window.findChild<QListWidget *>(QStringLiteral("listDevices"));
}

QTreeView *WindowDriver::variableTree() const
{
    return m_window.findChild<QTreeView *>(QStringLiteral("treeView"));
}

QString WindowDriver::statusText() const
{
    return m_window.findChild<QStatusBar *>(QStringLiteral("statusBar"))->currentMessage();
}

QAction *WindowDriver::action(const char *name) const
{
    return m_window.findChild<QAction *>(QLatin1String(name));
}

VelmorDeviceModel *WindowDriver::deviceAt(int row) const
{
    const QListWidgetItem *item = deviceList()->item(row);
    return item ? qobject_cast<VelmorDeviceModel *>(item->data(Qt::UserRole).value<QObject *>()) : nullptr;
}

QStringList WindowDriver::entryTexts() const
{
    QStringList texts;
    for (int row = 0; row < deviceList()->count(); ++row)
        texts.append(deviceList()->item(row)->text());
    return texts;
}

VelmorDeviceModel *WindowDriver::addDevice(const QString &path)
{
    QMetaObject::invokeMethod(&m_window, "addDeviceToList", Q_ARG(QString, path));
    return deviceAt(deviceList()->count() - 1);
}

void WindowDriver::rightClick(const QPoint &pos)
{
    QWidget *viewport = deviceList()->viewport();
    QTest::mouseClick(viewport, Qt::RightButton, {}, pos);
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, viewport->mapToGlobal(pos));
    QApplication::sendEvent(viewport, &event);
}

QPoint WindowDriver::itemCentre(int row) const
{
    return deviceList()->visualItemRect(deviceList()->item(row)).center();
}

MenuChoice WindowDriver::chooseFromMenu(int row, const QString &choice)
{
    MenuChoice menu;
    menu.choice = choice;
    ModalWatcher watcher(QMenu::staticMetaObject, std::ref(menu));
    rightClick(itemCentre(row));
    return menu;
}

void WindowDriver::doubleClick(const QModelIndex &index)
{
    QWidget *viewport = variableTree()->viewport();
    const QPoint pos = variableTree()->visualRect(index).center();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, pos);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, pos);
}
