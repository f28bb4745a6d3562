#ifndef TRENDVARIABLELIST_H
#define TRENDVARIABLELIST_H

#include "trendcurvekey.h"

#include <QObject>

class QTreeWidget;
class QTreeWidgetItem;
class TrendRecorder;

// The check list of what can be drawn: a branch per source (device or opened file), a
// leaf per variable, and under a bit field a leaf per bit. The first column shows a
// curve, the second puts it on the right-hand axis.
class TrendVariableList : public QObject
{
    Q_OBJECT

public:
    enum Column { NameColumn, RightAxisColumn };

    TrendVariableList(QTreeWidget *tree, const TrendRecorder *recorder);

    void setShown(const TrendCurveKey &key, bool shown);
    bool isShown(const TrendCurveKey &key) const;

signals:
    void curveToggled(const TrendCurveKey &key, bool shown);
    void rightAxisToggled(const TrendCurveKey &key, bool right);

private:
    void addSource(int source);
    void markClosed(int source);
    void itemChanged(QTreeWidgetItem *item, int column);
    QTreeWidgetItem *sourceItem(int source) const;
    QTreeWidgetItem *itemOf(const TrendCurveKey &key) const;
    static QTreeWidgetItem *checkableItem(QTreeWidgetItem *parent, const QString &text, const TrendCurveKey &key);

    QTreeWidget *m_tree;
    const TrendRecorder *m_recorder;
};

#endif // TRENDVARIABLELIST_H
