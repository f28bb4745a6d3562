#ifndef MODALWATCHER_H
#define MODALWATCHER_H

#include <QObject>
#include <QTimer>

#include <functional>

class QWidget;

// Waits for the next modal dialog or popup menu of the given class and hands it to a
// handler, which must close it; the code under test is blocked in exec() meanwhile.
class ModalWatcher : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<void(QWidget *)>;

    ModalWatcher(const QMetaObject &kind, Handler handler, QObject *parent = nullptr);

    // True once a modal window or popup was found and handed over.
    bool seen() const;

private:
    void poll();

    const QMetaObject &m_kind;
    Handler m_handler;
    QTimer m_timer;
    bool m_seen = false;
};

#endif // MODALWATCHER_H
