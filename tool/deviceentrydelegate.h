#ifndef DEVICEENTRYDELEGATE_H
#define DEVICEENTRYDELEGATE_H

#include <QStyledItemDelegate>

// Draws the device entries no wider than the narrow list, so that a long name or port
// is elided in the middle instead of cut off at the list's edge.
class DeviceEntryDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit DeviceEntryDelegate(QWidget *list);

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    QWidget *m_list;
};

#endif // DEVICEENTRYDELEGATE_H
