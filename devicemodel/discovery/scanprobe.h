#ifndef SCANPROBE_H
#define SCANPROBE_H

#include "scanfind.h"
#include "serialframing.h"

#include <QObject>
#include <QString>

// One protocol's way of asking a candidate whether a device is there. It owns its line
// (serial port or TCP connection) and never writes to a device.
class ScanProbe : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Opens the line with the candidate's settings; false with the reason when it cannot.
    virtual bool open(const ScanCandidate &line, QString *reason) = 0;
    virtual void close() = 0;
    // One read of the probe address; answered() or silent() follows, or lineFailed().
    virtual void ask(const ScanCandidate &candidate, int probeAddress) = 0;
    // Forgets the read in flight: its answer, if one comes, is no longer reported.
    virtual void abandon() = 0;

protected:
    // The candidate's serial line settings in the model's terms.
    static SerialFraming framingOf(const ScanCandidate &line);

signals:
    void answered(const ScanFind &find);
    void silent();
    void lineFailed(const QString &reason);
};

#endif // SCANPROBE_H
