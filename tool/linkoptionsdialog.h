#ifndef LINKOPTIONSDIALOG_H
#define LINKOPTIONSDIALOG_H

#include <QDialog>

#include <memory>

class VelmorDeviceModel;

namespace Ui {
class LinkOptionsDialog;
}

// Every link option of a device beyond its address and port: timeout, retries, block
// reads, pauses, word order and serial framing. What does not apply to the device's
// protocol is shown but not editable. Changes apply at the next connect.
class LinkOptionsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit LinkOptionsDialog(QWidget *parent = nullptr);
    ~LinkOptionsDialog() override;

    void load(const VelmorDeviceModel &device);
    void apply(VelmorDeviceModel *device) const;

private:
    void setUpRanges();
    void enableWhatApplies(const VelmorDeviceModel &device);

    std::unique_ptr<Ui::LinkOptionsDialog> m_ui;
};

#endif // LINKOPTIONSDIALOG_H
