#ifndef SETTINGSDIALOG_H
#define SETTINGSDIALOG_H

#include <QDialog>
#include <QString>

namespace Ui {
class SettingsDialog;
}

// Edits a device's link settings: its bus address and either the serial line or the TCP peer.
class SettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SettingsDialog(QWidget *parent = nullptr);
    ~SettingsDialog() override;

    // Serial mode disables the TCP group, network mode the serial group.
    void setSerialMode(bool serial);

    QString serialPort() const;
    void setSerialPort(const QString &serialPort);
    // 0 when the edited text is not a number.
    int baudRate() const;
    void setBaudRate(int baudRate);
    QString tcpHost() const;
    void setTcpHost(const QString &tcpHost);
    int tcpPort() const;
    void setTcpPort(int tcpPort);
    int devId() const;
    void setDevId(quint8 devId);

signals:
    // The engineer asks for the rest of the link options.
    void linkOptionsRequested();

private:
    Ui::SettingsDialog *m_ui;
};

#endif // SETTINGSDIALOG_H
