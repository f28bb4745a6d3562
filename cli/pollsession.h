#ifndef POLLSESSION_H
#define POLLSESSION_H

#include "linkrecovery.h"
#include "options.h"
#include "sessionconsole.h"
#include "velmordevicemodel.h"

#include <QObject>
#include <QVector>

#include <memory>

class CycleRecorder;
class CsvLogger;
class ErrorLines;
class ReadingFeed;
class SessionWrites;

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
    bool loadModel();
    void connectProgress();
    void applyOverrides();
    void applyLinkOverrides();
    void applyFramingOverrides();
    void applyTuningOverrides();
    bool openCsv();
    bool connectLink();
    void loseLink();
    void reconnect();
    void setLinkUp(bool up);
    void onError(const QString &text);
    void onCycleFinished(int cycleTimeMs, const QVector<int> &failedIds);
    void judgeAnswers(const QVector<int> &failedIds);
    void endSilence();
    void onCycleAbandoned();
    bool wantsMoreCycles() const;
    void writeDump();
    void finish(int exitCode);
    bool failed() const;
    int resultCode() const;

    Options m_options;
    QString m_descriptionFile;
    QString m_deviceName;
    // Output names the device: the run has several.
    bool m_labelled;
    SessionConsole m_console;
    LinkRecovery m_recovery;
    VelmorDeviceModel *m_model = nullptr;
    ReadingFeed *m_readings = nullptr;
    CycleRecorder *m_recorder = nullptr;
    ErrorLines *m_errors = nullptr;
    SessionWrites *m_writes = nullptr;
    std::unique_ptr<CsvLogger> m_csv;
    QVector<int> m_lastFailedIds;
    bool m_failed = false;
    bool m_finished = false;
    bool m_linkUp = false;
    // A whole cycle went by without a variable read; reported once.
    bool m_silent = false;
};

#endif // POLLSESSION_H
