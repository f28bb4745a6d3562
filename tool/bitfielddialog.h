#ifndef BITFIELDDIALOG_H
#define BITFIELDDIALOG_H

#include <QDialog>
#include <QList>

class QCheckBox;

namespace Ui {
class BitfieldDialog;
}

// Shows a 32-bit value as one check box a bit; a viewer when not editable.
class BitfieldDialog : public QDialog
{
    Q_OBJECT

public:
    explicit BitfieldDialog(bool editable, QWidget *parent = nullptr);
    ~BitfieldDialog() override;

    void setValue(quint32 value);
    quint32 value() const;

private slots:
    void on_buttonBox_accepted();

private:
    Ui::BitfieldDialog *m_ui;
    quint32 m_value = 0;
    // Element i is the box of bit i; the form's object names skip 11 to 20.
    QList<QCheckBox *> m_boxes;
    bool m_editable;
};

#endif // BITFIELDDIALOG_H
