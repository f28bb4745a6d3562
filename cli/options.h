#ifndef OPTIONS_H
#define OPTIONS_H

#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

// What the command line of velmor-cli asks for. Negative numbers and empty texts
// mean "keep what the description file says".
struct Options
{
    enum class Outcome {
        Run,
        ShowHelp,
        ShowVersion,
        Check,
        Refused
    };

    // One requested write: variable name and the value text as typed.
    using Assignment = QPair<QString, QString>;

    // Fills options from the arguments (program name first). For ShowHelp and
    // ShowVersion message is the text to print, for Refused the reason.
    static Outcome parse(const QStringList &arguments, Options *options, QString *message);

    // The run polls continuously rather than once.
    bool polling() const;

    QString descriptionFile;
    // --check: the description files to check instead of polling.
    QStringList checkFiles;
    QString serialPort;
    int baudRate = -1;
    QString tcpHost;
    int tcpPort = -1;
    int devId = -1;
    int queryDelayMs = -1;
    int intervalMs = -1;
    int blockRegisters = -1;
    int gapRegisters = -1;
    int responseTimeoutMs = -1;
    int retries = -1;
    bool trace = false;
    bool watch = false;
    int cycles = 0;
    QString csvFile;
    bool onChange = false;
    QVector<Assignment> assignments;
    bool storeFlash = false;
    QString dumpFile;
    QString restoreFile;
    bool verbose = false;
};

#endif // OPTIONS_H
