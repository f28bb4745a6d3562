#include "scanrun.h"

#include "descriptionskeleton.h"
#include "exitcode.h"
#include "scanner.h"

#include <QSaveFile>

#include <cstdio>

namespace {

QString lineOf(const ScanCandidate &candidate)
{
    if (candidate.protocol == ScanPlan::Protocol::ModbusTcp)
        return QStringLiteral("unit id %1").arg(candidate.address);
    return QStringLiteral("%1 %2, address %3").arg(candidate.baudRate).arg(candidate.parity).arg(candidate.address);
}

} // namespace

ScanRun::ScanRun(const ScanPlan &plan, const QString &skeletonFile, QObject *parent)
    : QObject(parent)
    , m_plan(plan)
    , m_skeletonFile(skeletonFile)
    , m_out(stdout)
    , m_err(stderr)
    , m_progress(m_err, QStringLiteral("scan"), QStringLiteral("tried"))
    , m_scanner(new Scanner(this))
{
    connect(m_scanner, &Scanner::candidateTried, this, &ScanRun::onCandidateTried);
    connect(m_scanner, &Scanner::found, this, &ScanRun::onFound);
    connect(m_scanner, &Scanner::failed, this, &ScanRun::onFailed);
    connect(m_scanner, &Scanner::finished, this, &ScanRun::onFinished);
}

ScanRun::~ScanRun() = default;

void ScanRun::start()
{
    if (!m_scanner->start(m_plan))
        emit done(ExitSomethingFailed);
}

void ScanRun::interrupt()
{
    m_scanner->cancel();
}

void ScanRun::onCandidateTried(int done, int total, const ScanCandidate &candidate)
{
    m_progress.step(done, total, lineOf(candidate));
}

void ScanRun::onFound(const ScanFind &find)
{
    m_progress.clear();
    m_out << find.summary() << '\n' << Qt::flush;
}

void ScanRun::onFailed(const QString &reason)
{
    m_lineFailed = true;
    printError(reason);
}

void ScanRun::onFinished()
{
    m_progress.clear();
    const QVector<ScanFind> finds = m_scanner->finds();
    if (finds.isEmpty()) {
        if (!m_lineFailed)
            printError(QStringLiteral("no device answered"));
        emit done(ExitSomethingFailed);
        return;
    }
    if (!m_skeletonFile.isEmpty() && !writeSkeleton(finds.first())) {
        emit done(ExitSomethingFailed);
        return;
    }
    emit done(ExitAllGood);
}

bool ScanRun::writeSkeleton(const ScanFind &find)
{
    QSaveFile file(m_skeletonFile);
    if (!file.open(QIODevice::WriteOnly)) {
        printError(QStringLiteral("cannot write %1: %2").arg(m_skeletonFile, file.errorString()));
        return false;
    }
    const QByteArray text = DescriptionSkeleton::text(find, m_plan);
    if (file.write(text) != text.size() || !file.commit()) {
        printError(QStringLiteral("cannot write %1: %2").arg(m_skeletonFile, file.errorString()));
        return false;
    }
    return true;
}

void ScanRun::printError(const QString &text)
{
    m_progress.clear();
    m_err << "velmor-cli: " << text << '\n' << Qt::flush;
}
