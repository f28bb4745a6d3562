#ifndef SCANRUN_H
#define SCANRUN_H

#include "progressline.h"
#include "scanplan.h"

#include <QObject>
#include <QTextStream>

class Scanner;
struct ScanFind;
struct ScanCandidate;

// velmor-cli --scan: runs a scan plan, prints each device found on stdout as it is found
// and the progress on stderr, and writes the description of the first find if asked.
class ScanRun : public QObject
{
    Q_OBJECT

public:
    ScanRun(const ScanPlan &plan, const QString &skeletonFile, QObject *parent = nullptr);
    ~ScanRun() override;

public slots:
    void start();
    void interrupt();

signals:
    // The exit code: 0 a device found (and its description written), 1 otherwise.
    void done(int exitCode);

private:
    void onCandidateTried(int done, int total, const ScanCandidate &candidate);
    void onFound(const ScanFind &find);
    void onFailed(const QString &reason);
    void onFinished();
    bool writeSkeleton(const ScanFind &find);
    void printError(const QString &text);

    const ScanPlan m_plan;
    const QString m_skeletonFile;
    QTextStream m_out;
    QTextStream m_err;
    ProgressLine m_progress;
    Scanner *m_scanner;
    // The line failed: the scan ended early and said why.
    bool m_lineFailed = false;
};

#endif // SCANRUN_H
