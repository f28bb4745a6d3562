#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QDateTime>
#include <QMainWindow>
#include <QTimer>

class VelmorbusReply;
class VelmorbusRtuSerialMaster;

namespace Ui {
class MainWindow;
}

// Reads a controller's real-time clock and sets it to the computer's time or to a
// chosen one. The serial port is open only for the duration of one exchange. After a
// write the clock is read back, to show how far it is from the computer's.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

private slots:
    void onTimer();
    void onTimeRead();
    void onTimeWrite();
    void on_buttonReadTime_clicked();
    void on_buttonSetTimeSys_clicked();
    void on_buttonSetTime_clicked();

private:
    void readDeviceTime();
    void writeDeviceTime(const QDateTime &dateTime);
    void readBackDeviceTime();
    void onTimeReadBack(VelmorbusReply *reply, qint64 sentAtMs);
    void showDrift(const QDateTime &deviceTime, qint64 computerTimeMs);
    void showUnverified(const QString &reason);
    VelmorbusReply *sendClockRead();
    bool openLink();
    bool openLinkQuietly();
    void showWarning(const QString &text);

    Ui::MainWindow *m_ui;
    VelmorbusRtuSerialMaster *m_master;
    QTimer m_timer;
};

#endif // MAINWINDOW_H
