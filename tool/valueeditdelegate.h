#ifndef VALUEEDITDELEGATE_H
#define VALUEEDITDELEGATE_H

#include <QStyledItemDelegate>

// Hands a value typed into the variable tree to the window instead of writing it to the
// model, so that a value the device refuses is reported where the engineer looks.
class ValueEditDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;

signals:
    void valueEdited(const QModelIndex &index, const QVariant &value) const;
};

#endif // VALUEEDITDELEGATE_H
