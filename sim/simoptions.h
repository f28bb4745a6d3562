#ifndef SIMOPTIONS_H
#define SIMOPTIONS_H

#include "faultinjector.h"

#include <QString>
#include <QVector>

class QCoreApplication;

// The simulator's command line. --help and --version are answered while parsing.
class SimOptions
{
public:
    // False with errorString() set when an option's value is unusable.
    bool parse(const QCoreApplication &app);
    QString errorString() const { return m_errorString; }

    QString descriptionFile;
    // --check: check the description file and end instead of serving it.
    bool checkOnly = false;
    // --listen HOST:PORT; empty host and port 0 when not given.
    QString listenHost;
    int listenPort = 0;
    QString serialPort;
    QString ptyLink;
    bool isStatic = false;
    double faultRate = 0;
    QVector<FaultInjector::Fault> faults;
    int exceptionCode = 4;
    int delayMs = 0;
    // --unused-registers zero: Modbus reads take in registers no variable uses as 0.
    bool unusedRegistersReadZero = false;
    bool hasSeed = false;
    quint32 seed = 0;

private:
    bool parseListen(const QString &text);
    bool parseFaults(const QString &text);
    bool fail(const QString &message);

    QString m_errorString;
};

#endif // SIMOPTIONS_H
