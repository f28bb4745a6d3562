#include "trendvariablelist.h"

#include "trendrecorder.h"

#include <QSignalBlocker>
#include <QTreeWidget>

namespace {

constexpr int sourceRole = Qt::UserRole;
constexpr int keyRole = Qt::UserRole + 1;

TrendCurveKey keyOf(const QTreeWidgetItem *item)
{
    return item->data(TrendVariableList::NameColumn, keyRole).value<TrendCurveKey>();
}

bool isCurveItem(const QTreeWidgetItem *item)
{
    return item->data(TrendVariableList::NameColumn, keyRole).isValid();
}

} // namespace

TrendVariableList::TrendVariableList(QTreeWidget *tree, const TrendRecorder *recorder)
    : QObject(tree)
    , m_tree(tree)
    , m_recorder(recorder)
{
    m_tree->setHeaderLabels({QStringLiteral("Переменная"), QStringLiteral("Правая ось")});
    for (int source : recorder->sources())
        addSource(source);
    connect(recorder, &TrendRecorder::sourceAdded, this, &TrendVariableList::addSource);
    connect(recorder, &TrendRecorder::sourceClosed, this, &TrendVariableList::markClosed);
    connect(m_tree, &QTreeWidget::itemChanged, this, &TrendVariableList::itemChanged);
}

void TrendVariableList::setShown(const TrendCurveKey &key, bool shown)
{
    if (QTreeWidgetItem *item = itemOf(key))
        item->setCheckState(NameColumn, shown ? Qt::Checked : Qt::Unchecked);
}

bool TrendVariableList::isShown(const TrendCurveKey &key) const
{
    const QTreeWidgetItem *item = itemOf(key);
    return item && item->checkState(NameColumn) == Qt::Checked;
}

void TrendVariableList::addSource(int source)
{
    // Building the branch changes check states: no curve is asked for by that.
    const QSignalBlocker quiet(m_tree);
    auto *branch = new QTreeWidgetItem(m_tree, {m_recorder->sourceName(source)});
    branch->setData(NameColumn, sourceRole, source);
    const QVector<TrendVariable> &variables = m_recorder->variables(source);
    for (int variable = 0; variable < variables.size(); ++variable) {
        const TrendVariable &described = variables.at(variable);
        QTreeWidgetItem *leaf = checkableItem(branch, described.name, {source, variable, -1});
        for (int bit = 0; described.bitfield && bit < described.bits; ++bit)
            checkableItem(leaf, QStringLiteral("бит %1").arg(bit), {source, variable, bit});
    }
    branch->setExpanded(true);
    m_tree->resizeColumnToContents(NameColumn);
}

void TrendVariableList::markClosed(int source)
{
    if (QTreeWidgetItem *branch = sourceItem(source))
        branch->setText(NameColumn, QStringLiteral("%1 (закрыто)").arg(m_recorder->sourceName(source)));
}

void TrendVariableList::itemChanged(QTreeWidgetItem *item, int column)
{
    if (!isCurveItem(item))
        return;
    if (column == NameColumn)
        emit curveToggled(keyOf(item), item->checkState(NameColumn) == Qt::Checked);
    else if (column == RightAxisColumn)
        emit rightAxisToggled(keyOf(item), item->checkState(RightAxisColumn) == Qt::Checked);
}

QTreeWidgetItem *TrendVariableList::sourceItem(int source) const
{
    for (int index = 0; index < m_tree->topLevelItemCount(); ++index) {
        QTreeWidgetItem *branch = m_tree->topLevelItem(index);
        if (branch->data(NameColumn, sourceRole).toInt() == source)
            return branch;
    }
    return nullptr;
}

QTreeWidgetItem *TrendVariableList::itemOf(const TrendCurveKey &key) const
{
    QTreeWidgetItem *branch = sourceItem(key.source);
    if (!branch || key.variable < 0 || key.variable >= branch->childCount())
        return nullptr;
    QTreeWidgetItem *leaf = branch->child(key.variable);
    if (key.bit < 0)
        return leaf;
    return key.bit < leaf->childCount() ? leaf->child(key.bit) : nullptr;
}

QTreeWidgetItem *TrendVariableList::checkableItem(QTreeWidgetItem *parent, const QString &text,
                                                  const TrendCurveKey &key)
{
    auto *item = new QTreeWidgetItem(parent, {text});
    item->setData(NameColumn, keyRole, QVariant::fromValue(key));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(NameColumn, Qt::Unchecked);
    item->setCheckState(RightAxisColumn, Qt::Unchecked);
    return item;
}
