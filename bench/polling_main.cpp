// Modbus TCP polling on loopback: variables per second of VelmorDeviceModel with
// interQueryDelay 0, beside a bare QModbusTcpClient loop and a libmodbus loop doing the
// same reads against the same server process. Rounds alternate between the three clients
// so that load from other processes spreads over all of them.
#include "descriptionwriter.h"
#include "libmodbusloop.h"
#include "pollpass.h"
#include "qtclientloop.h"
#include "resultrow.h"
#include "serverprocess.h"
#include "velmordevicemodel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLocale>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

constexpr int variableCount = 1000;
constexpr int rounds = 15;
constexpr double modelTarget = 0.8;

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "bench-polling: %s\n", qPrintable(message));
    std::exit(1);
}

// One update cycle of the model; the elapsed nanoseconds, or -1 when a read failed.
qint64 modelCycle(VelmorDeviceModel &model)
{
    QEventLoop loop;
    bool failed = false;
    const auto finished = QObject::connect(&model, &VelmorDeviceModel::updateFinished, &loop, &QEventLoop::quit);
    const auto error = QObject::connect(&model, &VelmorDeviceModel::errorOccured, &loop, [&](const QString &text) {
        std::fprintf(stderr, "bench-polling: model: %s\n", qPrintable(text));
        failed = true;
        loop.quit();
    });
    QTimer::singleShot(60000, &loop, [&] { failed = true; loop.quit(); });
    QElapsedTimer timer;
    timer.start();
    model.updateDeviceModel();
    loop.exec();
    const qint64 elapsed = timer.nsecsElapsed();
    QObject::disconnect(finished);
    QObject::disconnect(error);
    return failed ? -1 : elapsed;
}

PollPass measured(const std::function<qint64()> &pass)
{
    const PollPass result = PollPass::run(pass, variableCount);
    if (result.failed())
        fail(QStringLiteral("a read failed"));
    return result;
}

QString micros(double value)
{
    return QStringLiteral("%1 us").arg(ResultRow::number(value, 1));
}

QString rate(double perSecond)
{
    return QStringLiteral("%1 vars/s").arg(ResultRow::number(perSecond, 0));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const quint16 port = ServerProcess::freeTcpPort();
    ServerProcess server;
    if (!server.start(QCoreApplication::applicationDirPath() + QStringLiteral("/bench-modbus-server"),
                      {QString::number(port)}, port))
        fail(server.errorText());

    const QString path = dir.filePath(QStringLiteral("polling.yml"));
    if (!DescriptionWriter::writeModbusTcp(path, variableCount, port))
        fail(QStringLiteral("cannot write %1").arg(path));
    VelmorDeviceModel model(path);
    if (!model.valid())
        fail(QStringLiteral("the model refused %1").arg(path));
    model.setInterQueryDelay(0);
    model.connectDevice();

    const QVector<DescriptionWriter::Variable> variables = DescriptionWriter::mixedVariables(variableCount);
    QtClientLoop qtLoop(variables);
    if (!qtLoop.connectTo(port))
        fail(QStringLiteral("the bare Qt client cannot connect"));
    LibmodbusLoop libmodbusLoop(variables);
    if (!libmodbusLoop.connectTo(port))
        fail(QStringLiteral("libmodbus cannot connect"));

    // The first pass of each warms caches and lets the model's connection come up.
    measured([&] { return modelCycle(model); });
    measured([&] { return qtLoop.runPass(); });
    measured([&] { return libmodbusLoop.runPass(); });

    QVector<double> modelRates, qtRates, libmodbusRates, modelCpu, qtCpu, libmodbusCpu;
    for (int round = 0; round < rounds; ++round) {
        const PollPass modelPass = measured([&] { return modelCycle(model); });
        const PollPass qtPass = measured([&] { return qtLoop.runPass(); });
        const PollPass libmodbusPass = measured([&] { return libmodbusLoop.runPass(); });
        modelRates.append(modelPass.perSecond());
        qtRates.append(qtPass.perSecond());
        libmodbusRates.append(libmodbusPass.perSecond());
        modelCpu.append(modelPass.cpuMicrosecondsPerVariable());
        qtCpu.append(qtPass.cpuMicrosecondsPerVariable());
        libmodbusCpu.append(libmodbusPass.cpuMicrosecondsPerVariable());
    }
    const double modelRate = ResultRow::median(modelRates);
    const double qtRate = ResultRow::median(qtRates);
    const double libmodbusRate = ResultRow::median(libmodbusRates);

    const QString name = QStringLiteral("Modbus TCP polling, %1 vars, interQueryDelay 0: ")
                             .arg(QLocale(QLocale::English).toString(variableCount));
    const double modelRatio = modelRate / qtRate;
    ResultRow{name + QStringLiteral("VelmorDeviceModel (median of %1 cycles)").arg(rounds), rate(modelRate),
              QStringLiteral("bare QModbusTcpClient loop %1").arg(rate(qtRate)),
              ResultRow::number(modelRatio, 2), QStringLiteral(">= %1").arg(modelTarget),
              ResultRow::verdict(modelRatio >= modelTarget)}.print();
    ResultRow{name + QStringLiteral("libmodbus loop"), rate(libmodbusRate),
              QStringLiteral("bare QModbusTcpClient loop %1").arg(rate(qtRate)),
              ResultRow::number(libmodbusRate / qtRate, 2), QString(), QString()}.print();
    ResultRow{name + QStringLiteral("VelmorDeviceModel vs libmodbus"), rate(modelRate),
              QStringLiteral("libmodbus loop %1").arg(rate(libmodbusRate)),
              ResultRow::number(modelRate / libmodbusRate, 2), QString(), QString()}.print();
    // Processor time of the client alone; less disturbed by other load than the rates.
    const double modelMicros = ResultRow::median(modelCpu);
    const double qtMicros = ResultRow::median(qtCpu);
    ResultRow{name + QStringLiteral("client CPU per variable, VelmorDeviceModel"), micros(modelMicros),
              QStringLiteral("bare QModbusTcpClient loop %1, libmodbus loop %2")
                  .arg(micros(qtMicros), micros(ResultRow::median(libmodbusCpu))),
              ResultRow::number(modelMicros / qtMicros, 2), QString(), QString()}.print();
    return 0;
}
