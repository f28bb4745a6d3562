#ifndef SCANNER_P_H
#define SCANNER_P_H

#include "scanfind.h"
#include "scanplan.h"
#include "scanprobe.h"

#include <QTimer>
#include <QVector>

#include <memory>

class Scanner;

// The scan in progress: the candidates in order, the one being asked, the probe whose
// line is open.
class ScannerPrivate
{
public:
    explicit ScannerPrivate(Scanner *scanner);

    void createProbes();
    ScanProbe *probeFor(ScanPlan::Protocol protocol) const;
    // Opens the line of the next candidate if it differs from the open one, then asks.
    void askNext();
    QString openFailure(const QString &reason) const;
    void onAnswered(const ScanFind &find);
    // The candidate asked is done with: reported, and the next one asked from the event loop.
    void advance();
    void onLineFailed(const QString &reason);
    // Ends the scan: the line closed, nothing more reported but the end.
    void stop();
    void finish(bool cancelled);

    Scanner *q;
    ScanPlan plan;
    QVector<ScanCandidate> candidates;
    int next = 0;
    QVector<ScanFind> finds;
    bool running = false;
    // Each protocol's own probe, created for a plan; the serial ones share the port in turn.
    std::unique_ptr<ScanProbe> modbusProbe;
    std::unique_ptr<ScanProbe> velmorbusProbe;
    ScanProbe *openProbe = nullptr;
    ScanCandidate openLine;
    // The next candidate is asked from the event loop, so that a probe's answer never
    // recurses into the next request.
    QTimer nextTimer;
};

#endif // SCANNER_P_H
