#include "dialogbutton.h"

#include <QPushButton>

void clickDialogButton(QWidget *dialog, QDialogButtonBox::StandardButton which)
{
    dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(which)->click();
}
