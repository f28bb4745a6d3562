#include "bitfieldsession.h"

#include "dialogbutton.h"

#include <QCheckBox>
#include <QtTest>

void BitfieldSession::operator()(QWidget *modal)
{
    for (int bit = 0; bit < 32; ++bit) {
        // The form numbers its boxes 1 to 10 and 21 to 42.
        const QString name = QStringLiteral("checkBox_%1").arg(bit < 10 ? bit + 1 : bit + 11);
        auto *box = modal->findChild<QCheckBox *>(name);
        if (bit == 0)
            boxesEnabled = box->isEnabled();
        if (box->isChecked())
            checkedBits.append(bit);
        if (toggle.contains(bit))
            QTest::mouseClick(box, Qt::LeftButton);
    }
    clickDialogButton(modal, button);
}
