#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QDateTime>
#include <QMainWindow>
#include <QTimer>

class VelmorbusRtuSerialMaster;

namespace Ui {
class MainWindow;
}

// Reads a controller's real-time clock and sets it to the computer's time or to a
// chosen one. The serial port is open only for the duration of one exchange.
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
    bool openLink();
    void showWarning(const QString &text);

    Ui::MainWindow *m_ui;
    VelmorbusRtuSerialMaster *m_master;
    QTimer m_timer;
};

#endif // MAINWINDOW_H
