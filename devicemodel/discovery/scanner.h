#ifndef SCANNER_H
#define SCANNER_H

#include "scanfind.h"
#include "scanplan.h"

#include <QObject>

#include <memory>

class ScannerPrivate;

// Runs a scan plan on one line, a candidate at a time, and reports each device that
// answers as it is found. It only ever reads.
class Scanner : public QObject
{
    Q_OBJECT

public:
    explicit Scanner(QObject *parent = nullptr);
    ~Scanner() override;

    // Starts in the event loop; false (and failed()) when the line cannot be opened.
    bool start(const ScanPlan &plan);
    void cancel();
    bool isRunning() const;
    QVector<ScanFind> finds() const;

signals:
    void candidateTried(int done, int total, const ScanCandidate &candidate);
    void found(const ScanFind &find);
    // Also after cancel(); cancelled tells which.
    void finished(bool cancelled);
    void failed(const QString &reason);

private:
    std::unique_ptr<ScannerPrivate> d;
};

#endif // SCANNER_H
