#ifndef MENUCHOICE_H
#define MENUCHOICE_H

#include <QList>
#include <QString>

class QWidget;

// Handler for a shown context menu: records its entries, then clicks the entry named
// choice when it is enabled, or closes the menu.
struct MenuChoice {
    struct Entry {
        QString name; // "separator" for a separator
        QString text;
        bool enabled = false;
        bool checked = false;

        bool operator==(const Entry &other) const;
    };

    QString choice;
    QList<Entry> entries;
    bool menuHadParent = true;

    void operator()(QWidget *popup);
    Entry entry(const QString &name) const;
};

char *toString(const MenuChoice::Entry &entry);

#endif // MENUCHOICE_H
