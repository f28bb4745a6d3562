#include "sessionwrites.h"

#include "cyclerecorder.h"
#include "dumpfile.h"
#include "sessionconsole.h"
#include "valuesetter.h"
#include "velmordevicemodel.h"

SessionWrites::SessionWrites(const Options &options, VelmorDeviceModel *model, const CycleRecorder *recorder,
                             SessionConsole *console, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_model(model)
    , m_recorder(recorder)
    , m_console(console)
    , m_setter(std::make_unique<ValueSetter>(model))
{
    connect(m_model, &VelmorDeviceModel::storeToFlashComplete, this, &SessionWrites::onFlashStored);
    connect(m_recorder, &CycleRecorder::flashFailed, this, &SessionWrites::onFlashFailed);
    connect(m_recorder, &CycleRecorder::writeFailed, this,
            [this](int id, const QString &reason) { m_setter->noteWriteFailure(id, reason); });
}

SessionWrites::~SessionWrites() = default;

bool SessionWrites::queue()
{
    // Restored values go first, so that a --set of the same variable wins.
    if (!m_options.restoreFile.isEmpty() && !queueRestore())
        return false;
    for (const Options::Assignment &assignment : qAsConst(m_options.assignments)) {
        QString errorText;
        if (m_setter->set(assignment.first, assignment.second, &errorText) != ValueSetter::Outcome::Queued) {
            m_console->note(QStringLiteral("--set %1=%2: %3").arg(assignment.first, assignment.second, errorText));
            return false;
        }
    }
    m_writesPending = m_setter->hasWrites() || !m_restoreProblems.isEmpty();
    return true;
}

bool SessionWrites::queueRestore()
{
    QVector<DumpFile::Entry> entries;
    QString errorText;
    if (!DumpFile::read(m_options.restoreFile, &entries, &errorText)) {
        m_console->note(errorText);
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
            m_console->note(QStringLiteral("%1: %2; nothing was written").arg(m_options.restoreFile, errorText));
            return false;
        }
    }
    return true;
}

void SessionWrites::planFlash()
{
    if (!m_options.storeFlash)
        return;
    if (!m_model->canStoreConfiguration()) {
        m_console->note(QStringLiteral("storing to flash is not supported on Modbus; nothing was sent"));
        return;
    }
    if (m_writesPending)
        m_flash = Flash::AfterWrites;
    else
        queueFlash();
}

void SessionWrites::queueFlash()
{
    m_model->storeToFlash();
    m_flash = Flash::Queued;
    m_flashQueuedAfterCycle = m_recorder->finishedCycles();
}

void SessionWrites::cycleFinished(const QVector<int> &failedIds)
{
    checkFlash();
    if (m_writesPending)
        checkWrites(failedIds);
}

bool SessionWrites::waiting() const
{
    return m_writesPending || m_flash == Flash::Queued || m_flash == Flash::AfterWrites;
}

bool SessionWrites::failed() const
{
    return m_failed;
}

void SessionWrites::onFlashStored()
{
    m_flash = Flash::Stored;
    m_console->say(QStringLiteral("Configuration stored to flash."));
}

void SessionWrites::onFlashFailed()
{
    m_flash = Flash::NotWanted;
    m_failed = true;
}

void SessionWrites::checkWrites(const QVector<int> &failedIds)
{
    m_writesPending = false;
    const QStringList problems = m_restoreProblems + m_setter->verify(failedIds);
    m_console->say(QStringLiteral("Written: %1, not taken: %2").arg(m_setter->writeCount()).arg(problems.size()));
    for (const QString &problem : problems)
        m_console->say(QStringLiteral("  ") + problem);
    if (problems.isEmpty()) {
        if (m_flash == Flash::AfterWrites)
            queueFlash();
        return;
    }
    m_failed = true;
    if (m_flash == Flash::AfterWrites) {
        m_console->note(QStringLiteral("configuration not stored to flash: some writes were not taken"));
        m_flash = Flash::NotWanted;
    }
}

void SessionWrites::checkFlash()
{
    // The flash store leaves the queue before the first read of the next cycle.
    if (m_flash != Flash::Queued || m_recorder->finishedCycles() <= m_flashQueuedAfterCycle)
        return;
    m_console->note(QStringLiteral("the controller did not confirm the flash store"));
    m_flash = Flash::NotWanted;
    m_failed = true;
}
