// Block reads and link timeouts, side by side in one run:
// - 1,000 neighbouring int16 variables on loopback Modbus TCP: the cycle time with
//   "block: 125" against one request per variable;
// - the same over Modbus RTU on a pseudo-terminal at 19,200 and 115,200 baud, against the
//   wire floor of what was exchanged (the controller plays the line's timing);
// - "timeout: 250" with no retries against a peer that never answers: the time until the
//   variable is given up, on each protocol.
#include "modbusptycontroller.h"
#include "pseudoterminal.h"
#include "resultrow.h"
#include "serverprocess.h"
#include "velmordevicemodel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLocale>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

constexpr int variableCount = 1000;
constexpr int blockRegisters = 125;
constexpr int tcpRounds = 10;
constexpr int rtuBlockCycles = 3;
constexpr double speedUpTarget = 20;
constexpr double floorTarget = 1.2;
constexpr int linkTimeoutMs = 250;
constexpr int timeoutTries = 5;
constexpr double timeoutTarget = 1.2;
constexpr int cycleGuardMs = 120000;

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "bench-blockreads: %s\n", qPrintable(message));
    std::exit(1);
}

QString writeDescription(const QTemporaryDir &dir, const QString &name, const QString &head, int count)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(QStringLiteral("cannot write %1").arg(path));
    QByteArray text = "device: Bench controller\n" + head.toUtf8() + "id: 1\nvariables:\n";
    for (int addr = 0; addr < count; ++addr)
        text += "  - {name: V" + QByteArray::number(addr) + ", addr: " + QByteArray::number(addr) + ", type: int16}\n";
    if (file.write(text) != text.size() || !file.flush())
        fail(QStringLiteral("cannot write %1").arg(path));
    return path;
}

// The link settings take effect when the link opens. timeoutMs 0 keeps the protocol's own
// timeout and retries; otherwise no retries.
std::unique_ptr<VelmorDeviceModel> connectedModel(const QString &path, int block, int timeoutMs = 0)
{
    auto model = std::make_unique<VelmorDeviceModel>(path);
    if (!model->valid())
        fail(QStringLiteral("the model refused %1").arg(path));
    model->setInterQueryDelay(0);
    model->setBlockRegisters(block);
    if (timeoutMs > 0) {
        model->setResponseTimeoutMs(timeoutMs);
        model->setRetries(0);
    }
    model->connectDevice();
    if (!model->connected())
        fail(QStringLiteral("the model cannot open the link of %1").arg(path));
    return model;
}

// One update cycle in which every variable must be read; its nanoseconds.
qint64 cycleNs(VelmorDeviceModel &model)
{
    QEventLoop loop;
    int stored = 0;
    bool failed = false;
    const auto counted = QObject::connect(&model, &VelmorDeviceModel::variableRead, [&] { ++stored; });
    const auto finished = QObject::connect(&model, &VelmorDeviceModel::updateFinished, &loop, &QEventLoop::quit);
    const auto error = QObject::connect(&model, &VelmorDeviceModel::errorOccured, &loop, [&](const QString &text) {
        std::fprintf(stderr, "bench-blockreads: model: %s\n", qPrintable(text));
        failed = true;
        loop.quit();
    });
    QTimer::singleShot(cycleGuardMs, &loop, [&] { failed = true; loop.quit(); });
    QElapsedTimer timer;
    timer.start();
    model.updateDeviceModel();
    loop.exec();
    const qint64 elapsed = timer.nsecsElapsed();
    QObject::disconnect(counted);
    QObject::disconnect(finished);
    QObject::disconnect(error);
    if (failed || stored != model.varCount())
        fail(QStringLiteral("a cycle read %1 of %2 variables").arg(stored).arg(model.varCount()));
    return elapsed;
}

QString ms(double value, int decimals = 1)
{
    return QStringLiteral("%1 ms").arg(ResultRow::number(value, decimals));
}

QString thousand()
{
    return QLocale(QLocale::English).toString(variableCount);
}

void benchTcp(const QTemporaryDir &dir)
{
    const quint16 port = ServerProcess::freeTcpPort();
    ServerProcess server;
    if (!server.start(QCoreApplication::applicationDirPath() + QStringLiteral("/bench-modbus-server"),
                      {QString::number(port)}, port))
        fail(server.errorText());
    const QString path = writeDescription(dir, QStringLiteral("tcp.yml"),
        QStringLiteral("protocol: ModBUS TCP\nhost: 127.0.0.1\nport: %1\n").arg(port), variableCount);
    auto blockModel = connectedModel(path, blockRegisters);
    auto singleModel = connectedModel(path, 0);
    // The first cycle of each lets the connection come up and warms caches.
    cycleNs(*blockModel);
    cycleNs(*singleModel);
    QVector<double> blockMs, singleMs;
    for (int round = 0; round < tcpRounds; ++round) {
        blockMs.append(cycleNs(*blockModel) / 1e6);
        singleMs.append(cycleNs(*singleModel) / 1e6);
    }
    const double block = ResultRow::median(blockMs);
    const double single = ResultRow::median(singleMs);
    const double speedUp = single / block;
    ResultRow{QStringLiteral("Modbus TCP loopback, %1 neighbouring int16, cycle time with block %2 "
                             "(median of %3)").arg(thousand()).arg(blockRegisters).arg(tcpRounds),
              ms(block, 2), QStringLiteral("one request per variable %1").arg(ms(single, 1)),
              QStringLiteral("%1x faster").arg(ResultRow::number(speedUp, 1)),
              QStringLiteral(">= %1x").arg(speedUpTarget), ResultRow::verdict(speedUp >= speedUpTarget)}.print();
}

// Cycle time against the wire floor of the same cycle.
struct FloorRun
{
    double cycleMs = 0;
    double floorMs = 0;
    qint64 bytes = 0;
    int frames = 0;
};

FloorRun rtuCycle(ModbusPtyController &controller, VelmorDeviceModel &model)
{
    controller.resetCounts();
    FloorRun run;
    run.cycleMs = cycleNs(model) / 1e6;
    run.floorMs = controller.floorNs() / 1e6;
    run.bytes = controller.bytesExchanged();
    run.frames = controller.framesExchanged();
    return run;
}

QString floorText(const FloorRun &run)
{
    return QStringLiteral("wire floor %1 (%2 bytes, %3 frames)").arg(ms(run.floorMs)).arg(run.bytes).arg(run.frames);
}

void benchRtu(const QTemporaryDir &dir, int baudRate)
{
    ModbusPtyController controller(baudRate);
    if (!controller.isOpen())
        fail(QStringLiteral("no pseudo-terminal"));
    const QString path = writeDescription(dir, QStringLiteral("rtu%1.yml").arg(baudRate),
        QStringLiteral("protocol: ModBUS RTU\nport: %1\nbaudrate: %2\n").arg(controller.slavePath()).arg(baudRate),
        variableCount);
    const QString name = QStringLiteral("Modbus RTU, pty played at %1 baud, %2 neighbouring int16, cycle time, ")
                             .arg(baudRate).arg(thousand());
    {
        auto model = connectedModel(path, blockRegisters);
        rtuCycle(controller, *model);
        QVector<double> cycleMs;
        FloorRun last;
        for (int cycle = 0; cycle < rtuBlockCycles; ++cycle) {
            last = rtuCycle(controller, *model);
            cycleMs.append(last.cycleMs);
        }
        // Every block cycle exchanges the same bytes, so one floor stands for all.
        const double median = ResultRow::median(cycleMs);
        const double ratio = median / last.floorMs;
        ResultRow{name + QStringLiteral("block %1 (median of %2)").arg(blockRegisters).arg(rtuBlockCycles),
                  ms(median), floorText(last), QStringLiteral("%1x floor").arg(ResultRow::number(ratio, 2)),
                  QStringLiteral("<= %1x").arg(floorTarget), ResultRow::verdict(ratio <= floorTarget)}.print();
    }
    auto model = connectedModel(path, 0);
    const FloorRun single = rtuCycle(controller, *model);
    ResultRow{name + QStringLiteral("one request per variable (1 cycle)"), ms(single.cycleMs), floorText(single),
              QStringLiteral("%1x floor").arg(ResultRow::number(single.cycleMs / single.floorMs, 2)), QString(),
              QString()}.print();
}

// Milliseconds from the start of a cycle until its one variable is given up.
double givenUpMs(VelmorDeviceModel &model)
{
    QEventLoop loop;
    double elapsedMs = -1;
    QElapsedTimer timer;
    const auto failed = QObject::connect(&model, &VelmorDeviceModel::variableFailed, &loop, [&] {
        elapsedMs = timer.nsecsElapsed() / 1e6;
    });
    const auto finished = QObject::connect(&model, &VelmorDeviceModel::updateFinished, &loop, &QEventLoop::quit);
    QTimer::singleShot(cycleGuardMs, &loop, &QEventLoop::quit);
    timer.start();
    model.updateDeviceModel();
    loop.exec();
    QObject::disconnect(failed);
    QObject::disconnect(finished);
    if (elapsedMs < 0)
        fail(QStringLiteral("the silent peer's variable was not given up"));
    return elapsedMs;
}

void benchTimeout(const QTemporaryDir &dir, const QString &protocol, const QString &link)
{
    const QString path = writeDescription(dir, QStringLiteral("silent.yml"),
                                          QStringLiteral("protocol: %1\n%2").arg(protocol, link), 1);
    auto model = connectedModel(path, 0, linkTimeoutMs);
    QVector<double> times;
    for (int attempt = 0; attempt < timeoutTries; ++attempt)
        times.append(givenUpMs(*model));
    const double median = ResultRow::median(times);
    const double ratio = median / linkTimeoutMs;
    ResultRow{QStringLiteral("%1, timeout %2 ms, retries 0, silent peer: time until the variable is given up "
                             "(median of %3)").arg(protocol).arg(linkTimeoutMs).arg(timeoutTries),
              ms(median), ms(linkTimeoutMs, 0), ResultRow::number(ratio, 2),
              QStringLiteral("1.0 to %1").arg(timeoutTarget),
              ResultRow::verdict(ratio >= 1.0 && ratio <= timeoutTarget)}.print();
}

void benchTimeouts(const QTemporaryDir &dir)
{
    // Accepts connections and never answers.
    QTcpServer silentServer;
    if (!silentServer.listen(QHostAddress::LocalHost))
        fail(QStringLiteral("no local TCP port"));
    benchTimeout(dir, QStringLiteral("ModBUS TCP"),
                 QStringLiteral("host: 127.0.0.1\nport: %1\n").arg(silentServer.serverPort()));

    // A pseudo-terminal whose master end nobody reads.
    int masterFd = -1;
    int slaveFd = -1;
    QString slavePath;
    if (!PseudoTerminal::open(&masterFd, &slaveFd, &slavePath))
        fail(QStringLiteral("no pseudo-terminal"));
    const QString serialLink = QStringLiteral("port: %1\nbaudrate: 115200\n").arg(slavePath);
    benchTimeout(dir, QStringLiteral("ModBUS RTU"), serialLink);
    benchTimeout(dir, QStringLiteral("VelmorBUS RTU"), serialLink);
    ::close(masterFd);
    ::close(slaveFd);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    benchTcp(dir);
    benchRtu(dir, 19200);
    benchRtu(dir, 115200);
    benchTimeouts(dir);
    return 0;
}
