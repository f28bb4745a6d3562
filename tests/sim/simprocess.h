#ifndef SIMPROCESS_H
#define SIMPROCESS_H

#include <QByteArray>
#include <QProcess>
#include <QStringList>

// velmor-sim as a child process: started with arguments, waited for until it says it
// serves, its output gathered for the checks.
class SimProcess
{
public:
    SimProcess();
    ~SimProcess();

    // Starts the simulator and waits until it prints "listening on" or "serving".
    // False when it does not get there, e.g. because it refused and ended.
    bool start(const QStringList &arguments);
    // Runs the simulator to its end; false if it does not end in time.
    bool run(const QStringList &arguments);

    // Standard output gathered so far.
    QByteArray output();
    QByteArray errorOutput();
    int exitCode() const;
    bool isRunning() const;
    qint64 processId() const;
    // Sends the signal, then waits for a normal end.
    bool stop(int signalNumber);

    // A TCP port that was free a moment ago.
    static int freePort();

private:
    bool hasReadyLine();

    QProcess m_process;
    QByteArray m_output;
};

#endif // SIMPROCESS_H
