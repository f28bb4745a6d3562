#ifndef DIALOGBUTTON_H
#define DIALOGBUTTON_H

#include <QDialogButtonBox>

class QWidget;

// Clicks one of the standard buttons of the dialog's "buttonBox".
void clickDialogButton(QWidget *dialog, QDialogButtonBox::StandardButton which);

#endif // DIALOGBUTTON_H
