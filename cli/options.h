#ifndef OPTIONS_H
#define OPTIONS_H

#include "scanplan.h"

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
        Scan,
        Probe,
        Refused
    };

    // One requested write: variable name and the value text as typed.
    using Assignment = QPair<QString, QString>;

    // Fills options from the arguments (program name first). For ShowHelp and
    // ShowVersion message is the text to print, for Refused the reason.
    static Outcome parse(const QStringList &arguments, Options *options, QString *message);

    // The run polls continuously rather than once.
    bool polling() const;
    bool severalDevices() const;
    // A controller whose link fails or goes away is connected again after a pause
    // instead of ending the run: a watch of several controllers, or one that feeds
    // metrics or a broker.
    bool keepsReconnecting() const;
    // The CSV file of one device: the --csv name with %d replaced by the device name.
    QString csvFileFor(const QString &deviceName) const;
    // How tables, CSV rows, metrics and topics name the device of a description file:
    // its file name without the last suffix, unique within a run by construction.
    static QString deviceName(const QString &descriptionFile);

    QStringList descriptionFiles;
    // --check: the description files to check instead of polling.
    QStringList checkFiles;
    // --scan: what to try on the line of --port or --host, and where to write the
    // description of the first device found (empty: nowhere).
    ScanPlan scanPlan;
    QString skeletonFile;
    QString serialPort;
    int baudRate = -1;
    // One of VelmorDeviceModel::parityNames(); empty to keep the file's.
    QString parity;
    int dataBits = -1;
    int stopBits = -1;
    QString tcpHost;
    int tcpPort = -1;
    int devId = -1;
    int queryDelayMs = -1;
    int intervalMs = -1;
    int blockRegisters = -1;
    int gapRegisters = -1;
    int responseTimeoutMs = -1;
    int retries = -1;
    // One of VelmorDeviceModel::wordOrderNames(); empty to keep the file's.
    QString wordOrder;
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
    // --metrics HOST:PORT; an empty host when not asked for.
    QString metricsHost;
    int metricsPort = 0;
    // --mqtt HOST[:PORT]; an empty host when not asked for, port 0 for the protocol's default.
    QString mqttHost;
    int mqttPort = 0;
    QString mqttPrefix;
    QString mqttUser;
    QString mqttPasswordFile;
    QString mqttCaFile;
    // --probe ADDR[:COUNT]: the raw registers to read instead of polling; -1 when not asked for.
    int probeFirstRegister = -1;
    int probeCount = 1;
    // --input: the probe reads input registers rather than holding registers.
    bool probeInputRegisters = false;
};

#endif // OPTIONS_H
