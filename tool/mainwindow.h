#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "linkreconnect.h"

#include <QMainWindow>
#include <QMap>
#include <QModelIndex>
#include <QPointer>
#include <QString>
#include <QTimer>

class QLabel;
class QListWidgetItem;
class QPoint;
class TrafficDock;
class TrendRecorder;
class TrendWindow;
class Workspace;
class QCloseEvent;
class QMenu;
class VelmorDeviceModel;

namespace Ui {
class MainWindow;
}

// The device list on the left, the selected device's variables on the right; every
// device command is reached from the list's context menu.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Reopens what was open when the window last closed, and remembers it from now on.
    void restoreWorkspace();
    // Opens each file, or selects it when it is open already.
    void openFiles(const QStringList &fileNames);
    VelmorDeviceModel *openDescription(const QString &fileName);

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_actionAbout_triggered();
    void on_actionOpen_triggered();
    void addDeviceToList(QString filename);
    void listShowContextMenu(const QPoint &pos);
    void on_listDevices_currentItemChanged(QListWidgetItem *current, QListWidgetItem *previous);
    void on_actionCloseDevice_triggered();
    void on_actionUpdateDevice_triggered();
    void on_actionAutoUpdate_triggered(bool checked);
    void on_actionConnect_triggered(bool);
    void updateFinished(int time);
    void errorOccured(QString errorMessage);
    void storedToFlash();
    void on_actionDeviceSettings_triggered();
    void updateDeviceItem(QListWidgetItem *item);
    void on_actionStoreToFlash_triggered();
    void on_treeView_doubleClicked(QModelIndex index);
    void on_actionTrends_triggered();
    void on_actionAddToTrend_triggered();
    void treeShowContextMenu(const QPoint &pos);
    void on_actionLinkOptions_triggered();
    void on_actionScan_triggered();
    void on_actionProbe_triggered();

private:
    static VelmorDeviceModel *deviceOf(const QListWidgetItem *item);
    static VelmorDeviceModel *deviceOf(const QModelIndex &index);
    VelmorDeviceModel *currentDevice() const;
    void connectDeviceSignals(VelmorDeviceModel *device);
    void appendConnectFailureReason(const QString &reason);
    // Writes a value the variable takes; a refused one is reported and the cell keeps its value.
    void writeValue(const QModelIndex &index, const QVariant &value);
    // The device's own trend window, opened on first use.
    TrendWindow *trendWindowOf(VelmorDeviceModel *device);
    QListWidgetItem *itemOfFile(const QString &fileName) const;
    QList<VelmorDeviceModel *> openDevices() const;
    QMenu *recentFilesMenu(QWidget *parent);
    void watchLink(VelmorDeviceModel *device);
    void showLinkState(VelmorDeviceModel *device, LinkReconnect::State state);
    void offerReconnect(VelmorDeviceModel *device, const QString &reason);
    static LinkReconnect *reconnectOf(const VelmorDeviceModel *device);
    void setUpShortcuts();
    // Edits the selected variable's value, as a double click on it does.
    void editSelectedValue();
    void editLinkOptions(VelmorDeviceModel *device, QWidget *parent);

    Ui::MainWindow *m_ui;
    // The last finished cycle of any device, beside the status messages.
    QLabel *m_cycleSummary;
    // Polled values arrive one reply at a time; the tree repaints at most once per period.
    QTimer m_treeRepaint;
    // Every reading of every open device, from connect on, for the trend windows.
    TrendRecorder *m_recorder;
    QMap<int, QPointer<TrendWindow>> m_trendWindows;
    Workspace *m_workspace;
    // «Обмен», hidden until asked for: every frame of the open devices' links.
    TrafficDock *m_trafficDock;
    bool m_savesWorkspace = false;
};

#endif // MAINWINDOW_H
