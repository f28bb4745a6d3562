#include "pollsession.h"

#include "csvlogger.h"
#include "cyclerecorder.h"
#include "dumpfile.h"
#include "errorlines.h"
#include "exitcode.h"
#include "readingfeed.h"
#include "sessionwrites.h"
#include "velmordevicemodel.h"

#include <QDateTime>
#include <QTimer>

PollSession::PollSession(const Options &options, const QString &descriptionFile, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_descriptionFile(descriptionFile)
    , m_deviceName(Options::deviceName(descriptionFile))
    , m_labelled(options.severalDevices())
    , m_console(m_deviceName, m_labelled)
    , m_recovery([this] { reconnect(); }, &m_console)
{
}

PollSession::~PollSession() = default;

bool PollSession::prepare()
{
    if (!loadModel())
        return false;
    applyOverrides();
    return openCsv() && m_writes->queue();
}

QString PollSession::deviceName() const
{
    return m_deviceName;
}

VelmorDeviceModel *PollSession::model() const
{
    return m_model;
}

ReadingFeed *PollSession::readings() const
{
    return m_readings;
}

void PollSession::start()
{
    if (!connectLink()) {
        if (m_options.keepsReconnecting())
            return loseLink();
        return finish(ExitConnectionFailed);
    }
    m_writes->planFlash();
    if (m_options.polling())
        m_model->setAutoUpdate(true);
    m_model->updateDeviceModel();
}

void PollSession::interrupt()
{
    // A terminal or a supervisor may signal the whole process group more than once.
    if (m_finished)
        return;
    // With several devices the run says it once.
    if (!m_labelled)
        m_console.note(QStringLiteral("stopped"));
    finish(m_recorder && m_recorder->finishedCycles() > 0 ? resultCode() : ExitSomethingFailed);
}

bool PollSession::loadModel()
{
    m_model = new VelmorDeviceModel(m_descriptionFile, this);
    if (!m_model->valid()) {
        m_console.note(QStringLiteral("cannot load the description file %1").arg(m_descriptionFile));
        return false;
    }
    m_recorder = new CycleRecorder(m_model, this);
    m_writes = new SessionWrites(m_options, m_model, m_recorder, &m_console, this);
    m_errors = new ErrorLines(m_model, this);
    connect(m_errors, &ErrorLines::otherFailure, this, &PollSession::onError);
    // A controller that does not answer was reported once; its reads say nothing new.
    connect(m_errors, &ErrorLines::readFailure, this, [this](const QString &line) {
        if (!m_silent)
            onError(line);
    });
    connectProgress();
    // After the session's own handlers, so that an output sees the link state this read set.
    m_readings = new ReadingFeed(m_model, this);
    // connected() and the cycle settle after the signal: judge once the model is done.
    const auto judgeLater = [this] { QTimer::singleShot(0, this, &PollSession::onCycleAbandoned); };
    if (!m_options.keepsReconnecting()) {
        connect(m_recorder, &CycleRecorder::cycleAbandoned, this, judgeLater);
        return true;
    }
    // The recorder tells of a lost link once in its life; a link opened again can fail again.
    connect(m_model, &VelmorDeviceModel::cycleAbandoned, this, judgeLater);
    connect(m_model, &VelmorDeviceModel::connectionLost, this, judgeLater);
    return true;
}

void PollSession::connectProgress()
{
    connect(m_model, &VelmorDeviceModel::variableRead, this, &PollSession::endSilence);
    connect(m_model, &VelmorDeviceModel::variableFailed, this, [this] {
        if (!m_model->connected())
            setLinkUp(false);
    });
    connect(m_recorder, &CycleRecorder::progressed, this, [this](int done, int total) { m_console.progress(done, total); });
    connect(m_recorder, &CycleRecorder::cycleFinished, this, &PollSession::onCycleFinished);
}

void PollSession::applyOverrides()
{
    applyLinkOverrides();
    if (m_options.devId >= 0)
        m_model->setDevId(m_options.devId);
    if (m_options.queryDelayMs >= 0)
        m_model->setInterQueryDelay(m_options.queryDelayMs);
    if (m_options.intervalMs >= 0)
        m_model->setInterUpdateDelay(m_options.intervalMs);
    applyTuningOverrides();
}

void PollSession::applyTuningOverrides()
{
    if (m_options.blockRegisters >= 0)
        m_model->setBlockRegisters(m_options.blockRegisters);
    if (m_options.gapRegisters >= 0)
        m_model->setGapRegisters(m_options.gapRegisters);
    if (m_options.responseTimeoutMs >= 0)
        m_model->setResponseTimeoutMs(m_options.responseTimeoutMs);
    if (m_options.retries >= 0)
        m_model->setRetries(m_options.retries);
    if (!m_options.wordOrder.isEmpty())
        m_model->setWordOrder(m_options.wordOrder);
    if (!m_options.trace)
        return;
    connect(m_model, &VelmorDeviceModel::frameTraced, this,
            [this](const QDateTime &time, VelmorDeviceModel::TraceDirection direction, const QByteArray &bytes) {
                m_console.trace(time, direction == VelmorDeviceModel::Sent, bytes);
            });
}

void PollSession::applyLinkOverrides()
{
    const bool tcp = m_model->transport() == VelmorDeviceModel::TcpTransport;
    if (!m_options.serialPort.isEmpty())
        m_model->setSerialPort(m_options.serialPort);
    if (m_options.baudRate > 0)
        m_model->setBaudRate(m_options.baudRate);
    if (!m_options.tcpHost.isEmpty())
        m_model->setTcpHost(m_options.tcpHost);
    if (m_options.tcpPort > 0)
        m_model->setTcpPort(m_options.tcpPort);
    applyFramingOverrides();
    if (tcp && (!m_options.serialPort.isEmpty() || m_options.baudRate > 0))
        m_console.note(QStringLiteral("--port and --baudrate have no effect on %1; use --host and --tcp-port").arg(m_model->devProtoName()));
    if (!tcp && (!m_options.tcpHost.isEmpty() || m_options.tcpPort > 0))
        m_console.note(QStringLiteral("--host and --tcp-port have no effect on %1; use --port and --baudrate").arg(m_model->devProtoName()));
}

void PollSession::applyFramingOverrides()
{
    if (!m_options.parity.isEmpty())
        m_model->setParity(m_options.parity);
    if (m_options.dataBits > 0)
        m_model->setDataBits(m_options.dataBits);
    if (m_options.stopBits > 0)
        m_model->setStopBits(m_options.stopBits);
    const bool framed = !m_options.parity.isEmpty() || m_options.dataBits > 0 || m_options.stopBits > 0;
    if (framed && m_model->transport() == VelmorDeviceModel::TcpTransport)
        m_console.note(QStringLiteral("--parity, --databits and --stopbits have no effect on %1").arg(m_model->devProtoName()));
}

bool PollSession::openCsv()
{
    if (m_options.csvFile.isEmpty())
        return true;
    m_csv = std::make_unique<CsvLogger>(m_readings, m_options.onChange, m_labelled ? m_deviceName : QString());
    QString errorText;
    if (m_csv->open(m_options.csvFileFor(m_deviceName), &errorText))
        return true;
    m_console.note(errorText);
    return false;
}

bool PollSession::connectLink()
{
    m_model->connectDevice();
    return m_model->connected() && !m_finished;
}

void PollSession::loseLink()
{
    setLinkUp(false);
    m_failed = true;
    m_model->disconnectDevice();
    m_recovery.linkDown();
}

void PollSession::reconnect()
{
    if (m_finished)
        return;
    if (!connectLink())
        return loseLink();
    m_model->setAutoUpdate(true);
    m_model->updateDeviceModel();
}

void PollSession::setLinkUp(bool up)
{
    if (up == m_linkUp)
        return;
    m_linkUp = up;
    emit linkChanged(up);
}

void PollSession::onError(const QString &text)
{
    // An outage was reported once; the failed attempts to end it say nothing new.
    if (m_recovery.inOutage() || m_finished)
        return;
    m_console.error(text);
}

void PollSession::onCycleFinished(int cycleTimeMs, const QVector<int> &failedIds)
{
    m_errors->flush();
    m_console.clearProgress();
    m_recovery.linkUp();
    judgeAnswers(failedIds);
    m_lastFailedIds = failedIds;
    if (!failedIds.isEmpty())
        m_failed = true;
    if (m_csv && !m_csv->logCycle(QDateTime::currentDateTime(), cycleTimeMs, failedIds)) {
        m_console.note(QStringLiteral("cannot write to %1").arg(m_options.csvFileFor(m_deviceName)));
        m_failed = true;
    }
    if (m_options.polling())
        m_console.printCycle(m_recorder->finishedCycles(), cycleTimeMs, m_readings, failedIds);
    m_writes->cycleFinished(failedIds);
    if (!wantsMoreCycles()) {
        finish(resultCode());
        return;
    }
    // Without auto update the model waits to be asked for the next cycle.
    if (!m_model->autoUpdate())
        QTimer::singleShot(0, m_model, &VelmorDeviceModel::updateDeviceModel);
}

// A controller that keeps its connection open and answers nothing is as good as gone.
void PollSession::judgeAnswers(const QVector<int> &failedIds)
{
    const bool answered = m_model->varCount() == 0 || failedIds.size() < m_model->varCount();
    if (answered)
        return endSilence();
    setLinkUp(false);
    if (m_silent)
        return;
    m_silent = true;
    // A single cycle's table says it all.
    if (m_options.polling())
        m_console.note(QStringLiteral("no variable read in a whole cycle; offline until the controller answers"));
}

void PollSession::endSilence()
{
    setLinkUp(true);
    if (!m_silent)
        return;
    m_silent = false;
    if (m_options.polling())
        m_console.note(QStringLiteral("the controller answers again"));
}

void PollSession::onCycleAbandoned()
{
    if (m_finished)
        return;
    if (m_options.keepsReconnecting())
        return loseLink();
    // A link that was lost had been up: the connection itself did not fail.
    const bool neverConnected = m_recorder->finishedCycles() == 0 && !m_model->connected() && !m_recorder->linkLost();
    finish(neverConnected ? ExitConnectionFailed : ExitSomethingFailed);
}

bool PollSession::wantsMoreCycles() const
{
    if (m_writes->waiting())
        return true;
    if (m_options.watch && m_options.cycles == 0)
        return true;
    return m_recorder->finishedCycles() < qMax(1, m_options.cycles);
}

void PollSession::writeDump()
{
    if (m_options.dumpFile.isEmpty())
        return;
    if (m_recorder->finishedCycles() == 0) {
        m_console.note(QStringLiteral("nothing dumped: no cycle finished"));
        m_failed = true;
        return;
    }
    QStringList skipped;
    QString errorText;
    if (!DumpFile::write(m_options.dumpFile, m_model, m_lastFailedIds, &skipped, &errorText)) {
        m_console.note(errorText);
        m_failed = true;
        return;
    }
    if (!skipped.isEmpty())
        m_console.note(QStringLiteral("left out of %1, value unknown: %2").arg(m_options.dumpFile, skipped.join(QStringLiteral(", "))));
}

void PollSession::finish(int exitCode)
{
    if (m_finished)
        return;
    m_errors->flush();
    m_finished = true;
    m_console.clearProgress();
    m_recovery.stop();
    setLinkUp(false);
    if (m_model && m_model->valid()) {
        m_model->setAutoUpdate(false);
        const bool reported = exitCode == ExitAllGood || exitCode == ExitSomethingFailed;
        if (reported && !m_options.polling() && m_recorder->finishedCycles() > 0)
            m_console.printResult(m_readings, m_lastFailedIds);
        if (reported)
            writeDump();
        m_model->disconnectDevice();
    }
    if (exitCode == ExitAllGood && failed())
        exitCode = ExitSomethingFailed;
    m_console.flush();
    emit done(exitCode);
}

bool PollSession::failed() const
{
    return m_failed || (m_writes && m_writes->failed());
}

int PollSession::resultCode() const
{
    return failed() || m_writes->waiting() ? ExitSomethingFailed : ExitAllGood;
}
