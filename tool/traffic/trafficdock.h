#ifndef TRAFFICDOCK_H
#define TRAFFICDOCK_H

#include "framedecode.h"
#include "velmordevicemodel.h"

#include <QDockWidget>
#include <QHash>

class QAction;
class QComboBox;
class QLabel;
class QSortFilterProxyModel;
class QTableView;
class QToolButton;
class TrafficLog;

// «Обмен»: the frames of the open devices as they go over their links, newest last.
// Devices are traced only while the dock is shown and not paused; a traced link costs a
// copy of every frame. Pausing stops recording; what was recorded stays.
class TrafficDock : public QDockWidget
{
    Q_OBJECT

public:
    explicit TrafficDock(QWidget *parent = nullptr);

    // Traced from now on while the dock is shown, until the device is destroyed.
    void addDevice(VelmorDeviceModel *device);
    TrafficLog *log() const { return m_log; }
    // Shows and hides the dock, «Монитор обмена», Ctrl+Shift+T.
    QAction *monitorAction() const;
    // Writes the rows the filter lets through; false with the reason when it failed.
    bool saveTo(const QString &fileName, QString *error);

private:
    struct Source
    {
        int key = -1;
        QString name;
        FrameDecode::Protocol protocol = FrameDecode::Protocol::Unknown;
        QMetaObject::Connection trace;
    };

    QWidget *buildControls();
    void removeDevice(QObject *device);
    void updateTracing();
    void trace(VelmorDeviceModel *device, Source &source, bool on);
    void filterByDevice(int comboIndex);
    void showBound();
    void askAndSave();

    TrafficLog *m_log;
    QSortFilterProxyModel *m_filter;
    QTableView *m_view;
    QToolButton *m_pause;
    QComboBox *m_deviceFilter;
    QLabel *m_bound;
    QHash<QObject *, Source> m_sources;
    int m_nextKey = 0;
    bool m_followsNewest = true;
};

#endif // TRAFFICDOCK_H
