#ifndef LOGCAPTURE_H
#define LOGCAPTURE_H

#include <QList>
#include <QPair>
#include <QString>
#include <QtGlobal>

// Records every Qt log message while it lives, so tests can check exact texts and levels.
class LogCapture
{
public:
    using Message = QPair<QtMsgType, QString>;

    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QList<Message> messages() const;
    int count(QtMsgType type, const QString &text) const;
    bool contains(QtMsgType type, const QString &text) const;
    int countOfType(QtMsgType type) const;
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &text);

    QtMessageHandler m_previous;
};

#endif // LOGCAPTURE_H
