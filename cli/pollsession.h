#ifndef POLLSESSION_H
#define POLLSESSION_H

#include "options.h"
#include "progressline.h"
#include "retrytimer.h"
#include "velmordevicemodel.h"

#include <QObject>
#include <QStringList>
#include <QTextStream>
#include <QTimer>
#include <QVector>

#include <memory>

class CsvLogger;
class CycleRecorder;
class ErrorLines;
class ReadingFeed;
class ValueSetter;

// One controller's part of a run of velmor-cli: loads its description, connects,
// sends the writes, polls the cycles asked for, reports, and ends with the exit code.
// When the run keeps reconnecting, a failed or lost link is opened again instead.
class PollSession : public QObject
{
    Q_OBJECT

public:
    PollSession(const Options &options, const QString &descriptionFile, QObject *parent = nullptr);
    ~PollSession() override;

    // Loads the description, opens the CSV file and queues the writes; false, with
    // the reason on stderr, when the run cannot go ahead.
    bool prepare();
    QString deviceName() const;
    // Null until prepare() loaded it.
    VelmorDeviceModel *model() const;
    // The model's reads, for the outputs; null until prepare() loaded the model.
    ReadingFeed *readings() const;

public slots:
    // Connects and polls; prepare() must have succeeded.
    void start();
    // Ends the run at once, as after the last cycle.
    void interrupt();

signals:
    void done(int exitCode);
    // The link answers (up) or is closed, failed, lost or has not answered a whole cycle (down).
    void linkChanged(bool up);

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
    void loseLink();
    void reconnect();
    void setLinkUp(bool up);
    void onError(const QString &text);
    void onCycleFinished(int cycleTimeMs, const QVector<int> &failedIds);
    void judgeAnswers(const QVector<int> &failedIds);
    void endSilence();
    void onCycleAbandoned();
    void onFlashStored();
    void onFlashFailed();
    void checkWrites(const QVector<int> &failedIds);
    void checkFlash();
    void printCycle(int cycleTimeMs, const QVector<int> &failedIds);
    bool wantsMoreCycles() const;
    void writeDump();
    void note(const QString &text);
    // The device name and a colon when the run has several devices.
    QString devicePrefix() const;
    void finish(int exitCode);
    int resultCode() const;

    Options m_options;
    QString m_descriptionFile;
    QString m_deviceName;
    // Output names the device: the run has several.
    bool m_labelled;
    QTextStream m_out;
    QTextStream m_err;
    ProgressLine m_progress;
    VelmorDeviceModel *m_model = nullptr;
    ReadingFeed *m_readings = nullptr;
    CycleRecorder *m_recorder = nullptr;
    ErrorLines *m_errors = nullptr;
    std::unique_ptr<ValueSetter> m_setter;
    std::unique_ptr<CsvLogger> m_csv;
    QStringList m_restoreProblems;
    QVector<int> m_lastFailedIds;
    bool m_writesPending = false;
    Flash m_flash = Flash::NotWanted;
    int m_flashQueuedAfterCycle = 0;
    bool m_failed = false;
    bool m_finished = false;
    bool m_linkUp = false;
    // The link is down and being opened again; its errors were reported once.
    bool m_outage = false;
    // A whole cycle went by without a variable read; reported once.
    bool m_silent = false;
    RetryTimer m_reconnect;
};

#endif // POLLSESSION_H
