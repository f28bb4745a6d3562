// A scan of every Modbus address (1 to 247) at one baud rate on a pseudo-terminal, with
// velmor-sim playing one controller at address 200 and the default 50 ms wait for each
// answer: the time of the whole scan, and that it found that controller and nothing else.
#include "resultrow.h"
#include "scanner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int deviceAddress = 200;
constexpr int baudRate = 19200;
constexpr double targetSeconds = 15.0;
constexpr int simStartTimeoutMs = 10000;

const char *const description = R"(device: Контроллер
protocol: ModBUS RTU
port: /dev/null
id: 200
variables:
  - {name: T1, addr: 0, type: int16, value: 65}
)";

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "bench-scan: %s\n", qPrintable(message));
    std::exit(1);
}

// Starts velmor-sim on a pseudo-terminal behind the link and waits until it serves.
void startSim(QProcess *sim, const QString &descriptionPath, const QString &link)
{
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/../sim/velmor-sim");
    sim->start(program, {QStringLiteral("--static"), QStringLiteral("--pty"), link, descriptionPath});
    QByteArray output;
    QElapsedTimer clock;
    clock.start();
    while (!output.contains("serving")) {
        if (clock.elapsed() > simStartTimeoutMs || !sim->waitForReadyRead(simStartTimeoutMs))
            fail(QStringLiteral("velmor-sim did not start: %1").arg(QString::fromLocal8Bit(sim->readAllStandardError())));
        output += sim->readAllStandardOutput();
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString descriptionPath = dir.filePath(QStringLiteral("device.yml"));
    QFile file(descriptionPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(description) < 0 || !file.flush())
        fail(QStringLiteral("cannot write %1").arg(descriptionPath));
    file.close();

    QProcess sim;
    // Its traffic log keeps coming on stdout, which QProcess gathers while the scan runs.
    const QString link = dir.filePath(QStringLiteral("line"));
    startSim(&sim, descriptionPath, link);

    ScanPlan plan;
    plan.serialPort = link;
    plan.baudRates = {baudRate};
    plan.parities = {QStringLiteral("none")};

    Scanner scanner;
    QEventLoop loop;
    QObject::connect(&scanner, &Scanner::finished, &loop, &QEventLoop::quit);
    QObject::connect(&scanner, &Scanner::failed, [](const QString &reason) { fail(reason); });
    QElapsedTimer clock;
    clock.start();
    if (!scanner.start(plan))
        return 1;
    loop.exec();
    const double seconds = clock.elapsed() / 1000.0;

    const QVector<ScanFind> finds = scanner.finds();
    const bool foundJustIt = finds.size() == 1 && finds.first().candidate.address == deviceAddress;
    ResultRow row;
    row.benchmark = QStringLiteral("scan of addresses %1-%2 at %3 baud, %4 ms wait (pty, device at %5)")
                        .arg(plan.firstAddress).arg(plan.lastAddress).arg(baudRate).arg(plan.timeoutMs).arg(deviceAddress);
    row.measured = QStringLiteral("%1 s, found %2").arg(ResultRow::number(seconds, 2),
                                                       foundJustIt ? QStringLiteral("address %1 only").arg(deviceAddress)
                                                                   : QStringLiteral("%1 devices").arg(finds.size()));
    // The floor: every address but the device's waits out the whole timeout.
    const double floorSeconds = (plan.candidateCount() - 1) * plan.timeoutMs / 1000.0;
    row.reference = QStringLiteral("%1 s (waits alone)").arg(ResultRow::number(floorSeconds, 2));
    row.ratio = ResultRow::number(seconds / floorSeconds, 2);
    row.target = QStringLiteral("< %1 s, that address only").arg(targetSeconds);
    row.met = ResultRow::verdict(seconds < targetSeconds && foundJustIt);
    row.print();
    sim.terminate();
    sim.waitForFinished();
    return foundJustIt ? 0 : 1;
}
