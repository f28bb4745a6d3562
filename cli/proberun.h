#ifndef PROBERUN_H
#define PROBERUN_H

#include "options.h"
#include "registerprobe.h"

#include <QObject>

// velmor-cli --probe: reads raw registers once over the link the options or a
// description file give, prints them in every format and ends.
class ProbeRun : public QObject
{
    Q_OBJECT

public:
    explicit ProbeRun(const Options &options, QObject *parent = nullptr);

    void start();

signals:
    // An ExitCode.
    void done(int exitCode);

private:
    // Fills the probe's link; false, after saying why, when it cannot be had.
    bool setUpLink();
    void onRegistersRead(int firstRegister, const QVector<quint16> &words);
    void onFailed(const QString &reason);
    void finish(const QString &error, int exitCode);

    Options m_options;
    RegisterProbe m_probe;
};

#endif // PROBERUN_H
