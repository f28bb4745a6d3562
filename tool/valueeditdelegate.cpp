#include "valueeditdelegate.h"

#include <QMetaProperty>

void ValueEditDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    Q_UNUSED(model)
    // The editors the tree opens (line edits, spin boxes) mark their value as the user property.
    const QMetaProperty valueProperty = editor->metaObject()->userProperty();
    emit valueEdited(index, valueProperty.read(editor));
}
