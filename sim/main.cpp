#include "checkrun.h"
#include "descriptionreader.h"
#include "signalwatcher.h"
#include "simoptions.h"
#include "simulator.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

int refuse(const QString &message)
{
    std::fprintf(stderr, "velmor-sim: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmor-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMOR_SIM_VERSION));

    SimOptions options;
    if (!options.parse(app))
        return refuse(options.errorString());
    if (options.checkOnly)
        return CheckRun::run({options.descriptionFile}, stdout);

    DescriptionReader reader;
    DeviceDescription description;
    if (!reader.read(options.descriptionFile, &description))
        return refuse(options.descriptionFile + QStringLiteral(": ") + reader.errorString());
    for (const QString &warning : reader.warnings())
        std::fprintf(stderr, "velmor-sim: warning: %s\n", qPrintable(warning));

    SignalWatcher signalWatcher;
    Simulator simulator(description, options);
    if (!simulator.start())
        return refuse(simulator.errorString());
    QObject::connect(&signalWatcher, &SignalWatcher::interrupted, &app, [](int signalNumber) {
        std::printf("stopped by signal %d\n", signalNumber);
        std::fflush(stdout);
        QCoreApplication::quit();
    });
    return app.exec();
}
