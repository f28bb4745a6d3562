#include "menuchoice.h"

#include <QAction>
#include <QMenu>
#include <QtTest>

bool MenuChoice::Entry::operator==(const Entry &other) const
{
    return name == other.name && text == other.text && enabled == other.enabled && checked == other.checked;
}

void MenuChoice::operator()(QWidget *popup)
{
    auto *menu = qobject_cast<QMenu *>(popup);
    menuHadParent = menu->parentWidget() != nullptr;
    QAction *chosen = nullptr;
    const QList<QAction *> actions = menu->actions();
    for (QAction *action : actions) {
        if (action->isSeparator()) {
            entries.append(Entry{QStringLiteral("separator"), QString(), true, false});
            continue;
        }
        entries.append(Entry{action->objectName(), action->text(), action->isEnabled(), action->isChecked()});
        if (action->objectName() == choice)
            chosen = action;
    }
    if (chosen && chosen->isEnabled())
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(chosen).center());
    else
        menu->close();
}

MenuChoice::Entry MenuChoice::entry(const QString &name) const
{
    for (const Entry &entry : entries) {
        if (entry.name == name)
            return entry;
    }
    return Entry();
}

char *toString(const MenuChoice::Entry &entry)
{
    return qstrdup(QStringLiteral("%1 \"%2\" enabled=%3 checked=%4")
                       .arg(entry.name, entry.text)
                       .arg(entry.enabled)
                       .arg(entry.checked)
                       .toUtf8()
                       .constData());
}
