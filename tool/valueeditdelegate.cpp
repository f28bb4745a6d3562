#include "valueeditdelegate.h"

#include "valuestyle.h"

#include <QMetaProperty>

ValueEditDelegate::ValueEditDelegate(int valueColumn, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_valueColumn(valueColumn)
{
}

void ValueEditDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    if (index.column() == m_valueColumn)
        ValueStyle::paintMark(painter, option, index);
}

void ValueEditDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    Q_UNUSED(model)
    // The editors the tree opens (line edits, spin boxes) mark their value as the user property.
    const QMetaProperty valueProperty = editor->metaObject()->userProperty();
    emit valueEdited(index, valueProperty.read(editor));
}

void ValueEditDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.column() == m_valueColumn)
        ValueStyle::apply(*option, index);
}
