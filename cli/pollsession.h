#ifndef POLLSESSION_H
#define POLLSESSION_H

#include "options.h"
#include "progressline.h"
#include "velmordevicemodel.h"

#include <QObject>
#include <QStringList>
#include <QTextStream>
#include <QVector>

#include <memory>

class CsvLogger;
class CycleRecorder;
class ValueSetter;

// One run of velmor-cli: loads the description, connects, sends the writes, polls
// the cycles asked for, reports, and ends with the exit code.
class PollSession : public QObject
{
    Q_OBJECT

public:
    explicit PollSession(const Options &options, QObject *parent = nullptr);
    ~PollSession() override;

public slots:
    void start();
    // Ends the run at once, as after the last cycle.
    void interrupt();

signals:
    void done(int exitCode);

private:
    enum class Flash {
        NotWanted,
        AfterWrites,
        Queued,
        Stored
    };

    bool loadModel();
    void applyOverrides();
    void applyLinkOverrides();
    void applyTuningOverrides();
    void printFrame(const QDateTime &time, VelmorDeviceModel::TraceDirection direction, const QByteArray &bytes);
    bool openCsv();
    bool queueWrites();
    bool queueRestore();
    bool connectLink();
    void planFlash();
    void queueFlash();
    void onError(const QString &text);
    void onCycleFinished(int cycleTimeMs, const QVector<int> &failedIds);
    void onCycleAbandoned();
    void onFlashStored();
    void onFlashFailed();
    void checkWrites(const QVector<int> &failedIds);
    void checkFlash();
    void printCycle(int cycleTimeMs, const QVector<int> &failedIds);
    bool wantsMoreCycles() const;
    void writeDump();
    void note(const QString &text);
    void finish(int exitCode);
    int resultCode() const;

    Options m_options;
    QTextStream m_out;
    QTextStream m_err;
    ProgressLine m_progress;
    VelmorDeviceModel *m_model = nullptr;
    CycleRecorder *m_recorder = nullptr;
    std::unique_ptr<ValueSetter> m_setter;
    std::unique_ptr<CsvLogger> m_csv;
    QStringList m_restoreProblems;
    QVector<int> m_lastFailedIds;
    bool m_writesPending = false;
    Flash m_flash = Flash::NotWanted;
    int m_flashQueuedAfterCycle = 0;
    bool m_failed = false;
    bool m_finished = false;
};

#endif // POLLSESSION_H
