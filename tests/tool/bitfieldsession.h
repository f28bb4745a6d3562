#ifndef BITFIELDSESSION_H
#define BITFIELDSESSION_H

#include <QDialogButtonBox>
#include <QList>

class QWidget;

// Handler for a shown bit-field editor: records the checked bits and whether the boxes
// are enabled, toggles the given bits, then leaves with the given button.
struct BitfieldSession {
    QList<int> toggle;
    QDialogButtonBox::StandardButton button = QDialogButtonBox::Ok;
    QList<int> checkedBits;
    bool boxesEnabled = false;

    void operator()(QWidget *modal);
};

#endif // BITFIELDSESSION_H
