#include "bitfielddialog.h"
#include "ui_bitfielddialog.h"

#include <QCheckBox>

namespace {
constexpr int bitCount = 32;
constexpr int boxesPerRow = 16;
}

BitfieldDialog::BitfieldDialog(bool editable, QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::BitfieldDialog)
    , m_editable(editable)
{
    m_ui->setupUi(this);
    // Taken by grid position so that the bit order never depends on the object names.
    for (int bit = 0; bit < bitCount; ++bit) {
        QLayoutItem *item = m_ui->gridLayout->itemAtPosition(bit / boxesPerRow, bit % boxesPerRow);
        auto *box = qobject_cast<QCheckBox *>(item->widget());
        box->setEnabled(m_editable);
        m_boxes.append(box);
    }
}

BitfieldDialog::~BitfieldDialog()
{
    delete m_ui;
}

void BitfieldDialog::setValue(quint32 value)
{
    m_value = value;
    for (int bit = 0; bit < m_boxes.size(); ++bit)
        m_boxes.at(bit)->setChecked(value & (quint32(1) << bit));
}

quint32 BitfieldDialog::value() const
{
    return m_value;
}

void BitfieldDialog::on_buttonBox_accepted()
{
    m_value = 0;
    for (int bit = 0; bit < m_boxes.size(); ++bit) {
        if (m_boxes.at(bit)->isChecked())
            m_value |= quint32(1) << bit;
    }
}
