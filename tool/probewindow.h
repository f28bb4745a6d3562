#ifndef PROBEWINDOW_H
#define PROBEWINDOW_H

#include <QTimer>
#include <QWidget>

#include <memory>

class QTableWidget;
class RegisterProbe;
class VelmorDeviceModel;

namespace Ui {
class ProbeWindow;
}

// Reads a device's raw Modbus registers over its own link settings, once or every
// second, and shows each register and each pair of neighbours in every format and word
// order, so that an engineer can tell the order the device uses.
class ProbeWindow : public QWidget
{
    Q_OBJECT

public:
    ProbeWindow(VelmorDeviceModel *device, QWidget *parent = nullptr);
    ~ProbeWindow() override;

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void on_buttonRead_clicked();
    void on_buttonContinuous_toggled(bool checked);

private:
    // Whether the probe may read now; says why not in the note when it may not.
    bool updateAvailability();
    void readOnce();
    void onRegistersRead(int firstRegister, const QVector<quint16> &words);
    void onFailed(const QString &reason);
    void readFinished();
    void showRegisters(int firstRegister, const QVector<quint16> &words);
    void showPairs(int firstRegister, const QVector<quint16> &words);
    static void setRow(QTableWidget *table, int row, const QStringList &cells);

    std::unique_ptr<Ui::ProbeWindow> m_ui;
    VelmorDeviceModel *m_device;
    RegisterProbe *m_probe;
    // Paces the continuous reads: the next read a second after the last one's answer.
    QTimer m_repeatTimer;
    // Watches a device that holds the serial line until it is disconnected.
    QTimer m_lineCheckTimer;
    bool m_reading = false;
};

#endif // PROBEWINDOW_H
