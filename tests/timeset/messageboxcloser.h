#ifndef MESSAGEBOXCLOSER_H
#define MESSAGEBOXCLOSER_H

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

// Watches for modal message boxes, notes what each one said and presses its OK
// button, so that a window's exec() returns while the test goes on.
class MessageBoxCloser : public QObject
{
    Q_OBJECT

public:
    struct Message
    {
        QString title;
        QString text;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
    };

    explicit MessageBoxCloser(QObject *parent = nullptr);

    QList<Message> messages() const;
    QStringList texts() const;

private:
    void closeVisibleBoxes();

    QTimer m_pollTimer;
    QList<Message> m_messages;
};

#endif // MESSAGEBOXCLOSER_H
