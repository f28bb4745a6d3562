#ifndef VARIABLEDRAG_H
#define VARIABLEDRAG_H

#include <QModelIndex>
#include <QObject>
#include <QPoint>

class QMimeData;
class QTreeView;

// Dragging a variable out of the variable table carries it to a trend window.
class VariableDrag : public QObject
{
    Q_OBJECT

public:
    explicit VariableDrag(QTreeView *view);

    // The curve of the variable at the index, or none when its device is not recorded.
    static QMimeData *mimeDataOf(QModelIndex index);

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool startsDrag(const QPoint &at) const;
    void drag();

    QTreeView *m_view;
    QPoint m_pressedAt;
    bool m_pressed = false;
};

#endif // VARIABLEDRAG_H
