#ifndef VALUEEDITDELEGATE_H
#define VALUEEDITDELEGATE_H

#include <QStyledItemDelegate>

// Hands a value typed into the variable tree to the window instead of writing it to the
// model, so that a value the device refuses is reported where the engineer looks; shows
// in the value column how far each value can be trusted.
class ValueEditDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    ValueEditDelegate(int valueColumn, QObject *parent);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;

signals:
    void valueEdited(const QModelIndex &index, const QVariant &value) const;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    int m_valueColumn;
};

#endif // VALUEEDITDELEGATE_H
