#ifndef ERRORLINES_H
#define ERRORLINES_H

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

class VelmorDeviceModel;

// The lines a model's failures make on stderr, one per event. A failed read names the
// variables it hit ("Reading variable T1, T2 failed: Request timeout."): the model tells
// of it twice, as errorOccured and then as variableFailed with the same reason for each
// variable, and the line waits until the latter have come.
class ErrorLines : public QObject
{
    Q_OBJECT

public:
    explicit ErrorLines(VelmorDeviceModel *model, QObject *parent = nullptr);

    // Emits the lines still waiting.
    void flush();

signals:
    // A failed read, naming the variables it hit.
    void readFailure(const QString &line);
    // Any other failure: a write, the flash store, the link.
    void otherFailure(const QString &line);

private:
    struct Event {
        QString reason;
        // The variables a read failure hit; empty for any other failure.
        QStringList variables;
    };

    void onError(const QString &text);
    void onVariableFailed(int id, const QString &reason);
    void scheduleFlush();

    VelmorDeviceModel *m_model;
    QVector<Event> m_waiting;
    bool m_flushScheduled = false;
};

#endif // ERRORLINES_H
