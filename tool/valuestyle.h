#ifndef VALUESTYLE_H
#define VALUESTYLE_H

class QModelIndex;
class QPainter;
class QStyleOptionViewItem;

// How far a value cell can be trusted, at a glance: a value read by the last cycle looks
// plain, one the last cycle did not refresh is grey, one only the file gave is grey and
// italic, one whose last read failed is red with a warning mark. A value the engineer
// may write has a tinted background.
namespace ValueStyle {

// Restyles option, already filled for index, by the index's quality and its flags.
void apply(QStyleOptionViewItem &option, const QModelIndex &index);
// Paints the warning mark of a failed value at the left of its cell, over what the
// delegate painted: drawn, not a decoration, it leaves the row's height as it is.
void paintMark(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index);

} // namespace ValueStyle

#endif // VALUESTYLE_H
