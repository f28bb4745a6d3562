#include "messageboxcloser.h"

#include <QAbstractButton>
#include <QApplication>

namespace {
constexpr int pollIntervalMs = 10;
}

MessageBoxCloser::MessageBoxCloser(QObject *parent)
    : QObject(parent)
{
    connect(&m_pollTimer, &QTimer::timeout, this, &MessageBoxCloser::closeVisibleBoxes);
    m_pollTimer.start(pollIntervalMs);
}

QList<MessageBoxCloser::Message> MessageBoxCloser::messages() const
{
    return m_messages;
}

QStringList MessageBoxCloser::texts() const
{
    QStringList texts;
    for (const Message &message : m_messages)
        texts.append(message.text);
    return texts;
}

void MessageBoxCloser::closeVisibleBoxes()
{
    const auto widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (!box || !box->isVisible())
            continue;
        m_messages.append({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
        // Only the box's own OK button ends its exec(); a box without one is closed anyway.
        if (QAbstractButton *ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->reject();
    }
}
