#ifndef CLIRUNNER_H
#define CLIRUNNER_H

#include "childprocess.h"

#include <QString>
#include <QStringList>

// velmor-cli run as a child process while the test's event loop keeps serving the
// peers that the program talks to.
class CliRunner
{
public:
    CliRunner();
    // Ends a program still running as a supervisor would: SIGTERM, then SIGKILL.
    ~CliRunner();

    void start(const QStringList &arguments);
    // Every file the program writes ends at that size, as if the disk were full.
    void limitFileSize(qint64 bytes);
    // Waits with the event loop running; false when the program did not end in time.
    bool waitForExit(int timeoutMs = 30000);
    // Starts and waits; false when the program did not end in time.
    bool run(const QStringList &arguments, int timeoutMs = 30000);

    int exitCode() const;
    QProcess::ExitStatus exitStatus() const;
    // Everything written so far.
    QString out();
    QString err();
    QProcess &process();

private:
    ChildProcess m_process;
    QByteArray m_out;
    QByteArray m_err;
};

#endif // CLIRUNNER_H
