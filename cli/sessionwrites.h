#ifndef SESSIONWRITES_H
#define SESSIONWRITES_H

#include "options.h"

#include <QObject>
#include <QStringList>
#include <QVector>

#include <memory>

class CycleRecorder;
class SessionConsole;
class ValueSetter;
class VelmorDeviceModel;

// The writes a session sends (a restore file, then the --set values) and the flash
// store after them; each is judged by the cycle that follows it.
class SessionWrites : public QObject
{
    Q_OBJECT

public:
    SessionWrites(const Options &options, VelmorDeviceModel *model, const CycleRecorder *recorder,
                  SessionConsole *console, QObject *parent = nullptr);
    ~SessionWrites() override;

    // Queues the writes; false, with the reason noted, when the run cannot go ahead.
    bool queue();
    // Once connected: stores to flash now, or after the writes were taken.
    void planFlash();
    // Judges the writes and the flash store by the cycle that just finished.
    void cycleFinished(const QVector<int> &failedIds);
    // Writes or a flash store still wait for a cycle to confirm them.
    bool waiting() const;
    // A write was not taken or the flash store failed.
    bool failed() const;

private:
    enum class Flash {
        NotWanted,
        AfterWrites,
        Queued,
        Stored
    };

    bool queueRestore();
    void queueFlash();
    void onFlashStored();
    void onFlashFailed();
    void checkWrites(const QVector<int> &failedIds);
    void checkFlash();

    const Options &m_options;
    VelmorDeviceModel *m_model;
    const CycleRecorder *m_recorder;
    SessionConsole *m_console;
    std::unique_ptr<ValueSetter> m_setter;
    QStringList m_restoreProblems;
    bool m_writesPending = false;
    Flash m_flash = Flash::NotWanted;
    int m_flashQueuedAfterCycle = 0;
    bool m_failed = false;
};

#endif // SESSIONWRITES_H
