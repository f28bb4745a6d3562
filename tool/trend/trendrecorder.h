#ifndef TRENDRECORDER_H
#define TRENDRECORDER_H

#include "trendsample.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <memory>

class TrendRecorderPrivate;
class TrendSeries;

// What a series shows of its variable.
struct TrendVariable
{
    QString name;
    // Drawn bit by bit, as stepped lines.
    bool bitfield = false;
    // Bits of the type (16 or 32), for the bit choice.
    int bits = 16;
};

// The end of one poll cycle of a source, which gives a CSV row its time.
struct TrendCycle
{
    qint64 timeMs = 0;
    int cycleMs = 0;
};

// Every reading of every source (an open device, or a CSV file opened for viewing), with
// its time; a failed read is a gap. The memory of all sources together stays within a
// budget: past it, the series with most points is thinned, its older half folded into
// min/max envelopes.
class TrendRecorder : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 defaultBudgetBytes = qint64(256) << 20;

    explicit TrendRecorder(QObject *parent = nullptr);
    ~TrendRecorder() override;

    qint64 budgetBytes() const;
    void setBudgetBytes(qint64 bytes);

    // A new source, live until closed; returns its number (never reused).
    int addSource(const QString &name, const QVector<TrendVariable> &variables);
    // No more readings come (the device was closed); what was recorded stays.
    void closeSource(int source);
    QVector<int> sources() const;
    bool isLive(int source) const;
    QString sourceName(int source) const;
    const QVector<TrendVariable> &variables(int source) const;

    void append(int source, int variable, qint64 timeMs, double value);
    void appendGap(int source, int variable, qint64 timeMs);
    // Ends a cycle: its readings are now all appended (emits cycleRecorded).
    void endCycle(int source, qint64 timeMs, int cycleMs);

    const TrendSeries &series(int source, int variable) const;
    // The ends of the kept cycles; thinning keeps at most one per envelope bucket.
    const QVector<TrendCycle> &cycles(int source) const;
    // The first and last kept time over all series of the source; {0, -1} when empty.
    QPair<qint64, qint64> timeSpan(int source) const;

    qint64 bytesUsed() const;
    qint64 keptPoints() const;

signals:
    void sourceAdded(int source);
    void cycleRecorded(int source);
    void sourceClosed(int source);

private:
    std::unique_ptr<TrendRecorderPrivate> d;
};

#endif // TRENDRECORDER_H
