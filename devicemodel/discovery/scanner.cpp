#include "scanner.h"

#include "modbusscanprobe.h"
#include "scanner_p.h"
#include "scanorder.h"
#include "velmorbusscanprobe.h"

ScannerPrivate::ScannerPrivate(Scanner *scanner)
    : q(scanner)
{
    nextTimer.setSingleShot(true);
    nextTimer.setInterval(0);
    QObject::connect(&nextTimer, &QTimer::timeout, q, [this] { askNext(); });
}

void ScannerPrivate::createProbes()
{
    modbusProbe = std::make_unique<ModbusScanProbe>(plan);
    velmorbusProbe = std::make_unique<VelmorbusScanProbe>(plan);
    for (ScanProbe *probe : {modbusProbe.get(), velmorbusProbe.get()}) {
        QObject::connect(probe, &ScanProbe::answered, q, [this](const ScanFind &find) { onAnswered(find); });
        QObject::connect(probe, &ScanProbe::silent, q, [this] { advance(); });
        QObject::connect(probe, &ScanProbe::lineFailed, q, [this](const QString &reason) { onLineFailed(reason); });
    }
}

ScanProbe *ScannerPrivate::probeFor(ScanPlan::Protocol protocol) const
{
    return protocol == ScanPlan::Protocol::VelmorbusRtu ? velmorbusProbe.get() : modbusProbe.get();
}

void ScannerPrivate::askNext()
{
    const ScanCandidate &candidate = candidates.at(next);
    ScanProbe *probe = probeFor(candidate.protocol);
    if (probe != openProbe || !ScanOrder::sameLine(openLine, candidate)) {
        if (openProbe)
            openProbe->close();
        openProbe = nullptr;
        QString reason;
        if (!probe->open(candidate, &reason)) {
            onLineFailed(openFailure(reason));
            return;
        }
        openProbe = probe;
        openLine = candidate;
    }
    probe->ask(candidate, plan.probeAddress);
}

QString ScannerPrivate::openFailure(const QString &reason) const
{
    const QString line = plan.isTcp() ? QStringLiteral("%1:%2").arg(plan.tcpHost).arg(plan.tcpPort) : plan.serialPort;
    return QStringLiteral("cannot open %1: %2").arg(line, reason);
}

void ScannerPrivate::onAnswered(const ScanFind &find)
{
    if (!running)
        return;
    finds.append(find);
    emit q->found(find);
    // A handler of found() may have cancelled the scan.
    if (running && plan.stopAtFirstFind) {
        emit q->candidateTried(++next, candidates.size(), find.candidate);
        finish(false);
        return;
    }
    advance();
}

void ScannerPrivate::advance()
{
    if (!running)
        return;
    const ScanCandidate tried = candidates.at(next++);
    emit q->candidateTried(next, candidates.size(), tried);
    if (!running)
        return;
    if (next >= candidates.size())
        finish(false);
    else
        nextTimer.start();
}

void ScannerPrivate::onLineFailed(const QString &reason)
{
    if (!running)
        return;
    stop();
    emit q->failed(reason);
    emit q->finished(false);
}

void ScannerPrivate::stop()
{
    running = false;
    nextTimer.stop();
    if (openProbe)
        openProbe->close();
    openProbe = nullptr;
}

void ScannerPrivate::finish(bool cancelled)
{
    stop();
    emit q->finished(cancelled);
}

Scanner::Scanner(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<ScannerPrivate>(this))
{
}

Scanner::~Scanner()
{
    d->stop();
}

bool Scanner::start(const ScanPlan &plan)
{
    if (d->running)
        return false;
    d->stop();
    d->plan = plan;
    d->candidates = ScanOrder::candidates(plan);
    d->next = 0;
    d->finds.clear();
    d->createProbes();
    if (d->candidates.isEmpty()) {
        emit failed(QStringLiteral("the plan has no candidate to try"));
        return false;
    }
    // The first line is opened here, so that a port that cannot be opened is told at once.
    const ScanCandidate &first = d->candidates.first();
    ScanProbe *probe = d->probeFor(first.protocol);
    QString reason;
    if (!probe->open(first, &reason)) {
        emit failed(d->openFailure(reason));
        return false;
    }
    d->openProbe = probe;
    d->openLine = first;
    d->running = true;
    d->nextTimer.start();
    return true;
}

void Scanner::cancel()
{
    if (d->running)
        d->finish(true);
}

bool Scanner::isRunning() const
{
    return d->running;
}

QVector<ScanFind> Scanner::finds() const
{
    return d->finds;
}
