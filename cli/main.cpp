#include "checkrun.h"
#include "exitcode.h"
#include "options.h"
#include "pollrun.h"
#include "proberun.h"
#include "scanrun.h"
#include "signalwatcher.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTimer>

#include <cstdio>

namespace {

int runScan(const Options &options)
{
    if (!options.verbose)
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false\nqt.modbus*=false"));
    ScanRun run(options.scanPlan, options.skeletonFile);
    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::interrupted, &run, &ScanRun::interrupt);
    QObject::connect(&run, &ScanRun::done, qApp, &QCoreApplication::exit, Qt::QueuedConnection);
    QTimer::singleShot(0, &run, &ScanRun::start);
    return QCoreApplication::exec();
}

int probe(const Options &options)
{
    ProbeRun run(options);
    QObject::connect(&run, &ProbeRun::done, QCoreApplication::instance(), &QCoreApplication::exit, Qt::QueuedConnection);
    QTimer::singleShot(0, &run, &ProbeRun::start);
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmor-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMOR_VERSION));

    Options options;
    QString message;
    const Options::Outcome outcome = Options::parse(QCoreApplication::arguments(), &options, &message);
    switch (outcome) {
    case Options::Outcome::ShowHelp:
    case Options::Outcome::ShowVersion:
        std::fputs(qPrintable(message + QLatin1Char('\n')), stdout);
        return ExitAllGood;
    case Options::Outcome::Check:
        return CheckRun::run(options.checkFiles, stdout);
    case Options::Outcome::Scan:
        return runScan(options);
    case Options::Outcome::Refused:
        std::fputs(qPrintable(QStringLiteral("velmor-cli: %1\n").arg(message)), stderr);
        return ExitUsage;
    case Options::Outcome::Probe:
    case Options::Outcome::Run:
        break;
    }
    // The library's progress lines and Qt's Modbus internals are for developers; the
    // library's warnings still show, and a lost link is reported as such.
    if (!options.verbose)
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false\nqt.modbus*=false"));

    if (outcome == Options::Outcome::Probe)
        return probe(options);

    PollRun run(options);
    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::interrupted, &run, &PollRun::interrupt);
    QObject::connect(&run, &PollRun::done, &app, &QCoreApplication::exit, Qt::QueuedConnection);
    QTimer::singleShot(0, &run, &PollRun::start);
    return QCoreApplication::exec();
}
