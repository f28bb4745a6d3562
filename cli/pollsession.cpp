#include "pollsession.h"

#include "csvlogger.h"
#include "cyclerecorder.h"
#include "dumpfile.h"
#include "errorlines.h"
#include "exitcode.h"
#include "readingfeed.h"
#include "tableprinter.h"
#include "traceline.h"
#include "valuesetter.h"
#include "velmordevicemodel.h"

#include <QDateTime>
#include <QTimer>

#include <cstdio>

namespace {

// The pause before the first attempt to open a failed link again; it doubles with
// every further failure up to the longest.
const int firstReconnectDelayMs = 1000;
const int longestReconnectDelayMs = 30000;

} // namespace

PollSession::PollSession(const Options &options, const QString &descriptionFile, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_descriptionFile(descriptionFile)
    , m_deviceName(Options::deviceName(descriptionFile))
    , m_labelled(options.severalDevices())
    , m_out(stdout)
    , m_err(stderr)
    , m_progress(m_err)
    , m_reconnect(firstReconnectDelayMs, longestReconnectDelayMs, [this] { reconnect(); })
{
    m_out.setCodec("UTF-8");
    m_err.setCodec("UTF-8");
}

PollSession::~PollSession() = default;

bool PollSession::prepare()
{
    if (!loadModel())
        return false;
    applyOverrides();
    return openCsv() && queueWrites();
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
    planFlash();
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
        note(QStringLiteral("stopped"));
    finish(m_recorder && m_recorder->finishedCycles() > 0 ? resultCode() : ExitSomethingFailed);
}

bool PollSession::loadModel()
{
    m_model = new VelmorDeviceModel(m_descriptionFile, this);
    if (!m_model->valid()) {
        note(QStringLiteral("cannot load the description file %1").arg(m_descriptionFile));
        return false;
    }
    m_readings = new ReadingFeed(m_model, this);
    m_recorder = new CycleRecorder(m_model, this);
    m_setter = std::make_unique<ValueSetter>(m_model);
    m_errors = new ErrorLines(m_model, this);
    connect(m_errors, &ErrorLines::otherFailure, this, &PollSession::onError);
    // A controller that does not answer was reported once; its reads say nothing new.
    connect(m_errors, &ErrorLines::readFailure, this, [this](const QString &line) {
        if (!m_silent)
            onError(line);
    });
    connect(m_model, &VelmorDeviceModel::storeToFlashComplete, this, &PollSession::onFlashStored);
    connect(m_model, &VelmorDeviceModel::variableRead, this, &PollSession::endSilence);
    connect(m_model, &VelmorDeviceModel::variableFailed, this, [this] {
        if (!m_model->connected())
            setLinkUp(false);
    });
    // Several devices would share the one line.
    if (!m_labelled)
        connect(m_recorder, &CycleRecorder::progressed, this, [this](int done, int total) { m_progress.step(done, total); });
    connect(m_recorder, &CycleRecorder::cycleFinished, this, &PollSession::onCycleFinished);
    connect(m_recorder, &CycleRecorder::flashFailed, this, &PollSession::onFlashFailed);
    connect(m_recorder, &CycleRecorder::writeFailed, this,
            [this](int id, const QString &reason) { m_setter->noteWriteFailure(id, reason); });
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
    if (m_options.trace)
        connect(m_model, &VelmorDeviceModel::frameTraced, this, &PollSession::printFrame);
}

void PollSession::printFrame(const QDateTime &time, VelmorDeviceModel::TraceDirection direction, const QByteArray &bytes)
{
    m_progress.clear();
    m_err << devicePrefix() << TraceLine::text(time, direction == VelmorDeviceModel::Sent, bytes) << Qt::endl;
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
    if (tcp && (!m_options.serialPort.isEmpty() || m_options.baudRate > 0))
        note(QStringLiteral("--port and --baudrate have no effect on %1; use --host and --tcp-port").arg(m_model->devProtoName()));
    if (!tcp && (!m_options.tcpHost.isEmpty() || m_options.tcpPort > 0))
        note(QStringLiteral("--host and --tcp-port have no effect on %1; use --port and --baudrate").arg(m_model->devProtoName()));
}

bool PollSession::openCsv()
{
    if (m_options.csvFile.isEmpty())
        return true;
    m_csv = std::make_unique<CsvLogger>(m_readings, m_options.onChange, m_labelled ? m_deviceName : QString());
    QString errorText;
    if (m_csv->open(m_options.csvFileFor(m_deviceName), &errorText))
        return true;
    note(errorText);
    return false;
}

bool PollSession::queueWrites()
{
    // Restored values go first, so that a --set of the same variable wins.
    if (!m_options.restoreFile.isEmpty() && !queueRestore())
        return false;
    for (const Options::Assignment &assignment : qAsConst(m_options.assignments)) {
        QString errorText;
        if (m_setter->set(assignment.first, assignment.second, &errorText) != ValueSetter::Outcome::Queued) {
            note(QStringLiteral("--set %1=%2: %3").arg(assignment.first, assignment.second, errorText));
            return false;
        }
    }
    m_writesPending = m_setter->hasWrites() || !m_restoreProblems.isEmpty();
    return true;
}

bool PollSession::queueRestore()
{
    QVector<DumpFile::Entry> entries;
    QString errorText;
    if (!DumpFile::read(m_options.restoreFile, &entries, &errorText)) {
        note(errorText);
        return false;
    }
    for (const DumpFile::Entry &entry : qAsConst(entries)) {
        switch (m_setter->setAt(entry.name, entry.addr, entry.value, &errorText)) {
        case ValueSetter::Outcome::Queued:
            break;
        case ValueSetter::Outcome::Refused:
            m_restoreProblems.append(QStringLiteral("%1: not written: %2").arg(entry.name, errorText));
            break;
        case ValueSetter::Outcome::Ambiguous:
            note(QStringLiteral("%1: %2; nothing was written").arg(m_options.restoreFile, errorText));
            return false;
        }
    }
    return true;
}

bool PollSession::connectLink()
{
    m_model->connectDevice();
    return m_model->connected() && !m_finished;
}

void PollSession::planFlash()
{
    if (!m_options.storeFlash)
        return;
    if (!m_model->canStoreConfiguration()) {
        note(QStringLiteral("storing to flash is not supported on Modbus; nothing was sent"));
        return;
    }
    if (m_writesPending)
        m_flash = Flash::AfterWrites;
    else
        queueFlash();
}

void PollSession::queueFlash()
{
    m_model->storeToFlash();
    m_flash = Flash::Queued;
    m_flashQueuedAfterCycle = m_recorder->finishedCycles();
}

void PollSession::loseLink()
{
    setLinkUp(false);
    m_failed = true;
    m_model->disconnectDevice();
    if (!m_outage) {
        m_outage = true;
        note(QStringLiteral("link down; opening it again after %1 s, then up to every %2 s")
                 .arg(firstReconnectDelayMs / 1000).arg(longestReconnectDelayMs / 1000));
    }
    m_reconnect.retryLater();
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
    if (m_outage || m_finished)
        return;
    m_progress.clear();
    m_err << devicePrefix() << text << Qt::endl;
}

void PollSession::onCycleFinished(int cycleTimeMs, const QVector<int> &failedIds)
{
    m_errors->flush();
    m_progress.clear();
    if (m_outage) {
        m_outage = false;
        m_reconnect.reset();
        note(QStringLiteral("link up again"));
    }
    judgeAnswers(failedIds);
    m_lastFailedIds = failedIds;
    if (!failedIds.isEmpty())
        m_failed = true;
    if (m_csv && !m_csv->logCycle(QDateTime::currentDateTime(), cycleTimeMs, failedIds)) {
        note(QStringLiteral("cannot write to %1").arg(m_options.csvFileFor(m_deviceName)));
        m_failed = true;
    }
    if (m_options.polling())
        printCycle(cycleTimeMs, failedIds);
    checkFlash();
    if (m_writesPending)
        checkWrites(failedIds);
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
        note(QStringLiteral("no variable read in a whole cycle; offline until the controller answers"));
}

void PollSession::endSilence()
{
    setLinkUp(true);
    if (!m_silent)
        return;
    m_silent = false;
    if (m_options.polling())
        note(QStringLiteral("the controller answers again"));
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

void PollSession::onFlashStored()
{
    m_flash = Flash::Stored;
    m_out << "Configuration stored to flash." << Qt::endl;
}

void PollSession::onFlashFailed()
{
    m_flash = Flash::NotWanted;
    m_failed = true;
}

void PollSession::checkWrites(const QVector<int> &failedIds)
{
    m_writesPending = false;
    const QStringList problems = m_restoreProblems + m_setter->verify(failedIds);
    const int written = m_setter->writeCount();
    m_out << "Written: " << written << ", not taken: " << problems.size() << Qt::endl;
    for (const QString &problem : problems)
        m_out << "  " << problem << Qt::endl;
    if (problems.isEmpty()) {
        if (m_flash == Flash::AfterWrites)
            queueFlash();
        return;
    }
    m_failed = true;
    if (m_flash == Flash::AfterWrites) {
        note(QStringLiteral("configuration not stored to flash: some writes were not taken"));
        m_flash = Flash::NotWanted;
    }
}

void PollSession::checkFlash()
{
    // The flash store leaves the queue before the first read of the next cycle.
    if (m_flash != Flash::Queued || m_recorder->finishedCycles() <= m_flashQueuedAfterCycle)
        return;
    note(QStringLiteral("the controller did not confirm the flash store"));
    m_flash = Flash::NotWanted;
    m_failed = true;
}

void PollSession::printCycle(int cycleTimeMs, const QVector<int> &failedIds)
{
    const QString of = m_labelled ? QStringLiteral(" of ") + m_deviceName : QString();
    m_out << QStringLiteral("Cycle %1%2 at %3, %4 ms")
                 .arg(m_recorder->finishedCycles())
                 .arg(of, QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz")))
                 .arg(cycleTimeMs)
          << Qt::endl;
    TablePrinter(m_readings).print(m_out, failedIds);
    m_out << Qt::endl;
}

bool PollSession::wantsMoreCycles() const
{
    if (m_flash == Flash::Queued || m_flash == Flash::AfterWrites || m_writesPending)
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
        note(QStringLiteral("nothing dumped: no cycle finished"));
        m_failed = true;
        return;
    }
    QStringList skipped;
    QString errorText;
    if (!DumpFile::write(m_options.dumpFile, m_model, m_lastFailedIds, &skipped, &errorText)) {
        note(errorText);
        m_failed = true;
        return;
    }
    if (!skipped.isEmpty())
        note(QStringLiteral("left out of %1, value unknown: %2").arg(m_options.dumpFile, skipped.join(QStringLiteral(", "))));
}

void PollSession::note(const QString &text)
{
    m_progress.clear();
    m_err << "velmor-cli: " << devicePrefix() << text << Qt::endl;
}

QString PollSession::devicePrefix() const
{
    return m_labelled ? m_deviceName + QStringLiteral(": ") : QString();
}

void PollSession::finish(int exitCode)
{
    if (m_finished)
        return;
    m_errors->flush();
    m_finished = true;
    m_progress.clear();
    m_reconnect.reset();
    setLinkUp(false);
    if (m_model && m_model->valid()) {
        m_model->setAutoUpdate(false);
        const bool reported = exitCode == ExitAllGood || exitCode == ExitSomethingFailed;
        if (reported && !m_options.polling() && m_recorder->finishedCycles() > 0) {
            if (m_labelled)
                m_out << m_deviceName << ':' << Qt::endl;
            TablePrinter(m_readings).print(m_out, m_lastFailedIds);
        }
        if (reported)
            writeDump();
        m_model->disconnectDevice();
    }
    if (exitCode == ExitAllGood && m_failed)
        exitCode = ExitSomethingFailed;
    m_out.flush();
    m_err.flush();
    emit done(exitCode);
}

int PollSession::resultCode() const
{
    const bool flashOpen = m_flash == Flash::Queued || m_flash == Flash::AfterWrites;
    return m_failed || m_writesPending || flashOpen ? ExitSomethingFailed : ExitAllGood;
}
