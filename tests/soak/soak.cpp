// Long run of the update cycle against peers that fail at random: memory must stay flat
// and reply objects must not pile up. Run with scripts/soak.sh; not part of CTest.

#include "descriptiondir.h"
#include "fakevelmorcontroller.h"
#include "recordingmodbusserver.h"
#include "velmorbusframe.h"
#include "velmorbusreply.h"
#include "velmordevicemodel.h"

#include <QCoreApplication>
#include <QFile>
#include <QModbusReply>
#include <QRandomGenerator>
#include <QTextStream>

#include <cstdio>

namespace {

struct Figures {
    qint64 rssAfterWarmUpKb = 0;
    qint64 rssAtEndKb = 0;
    qint64 peakRssKb = 0;
    int liveRepliesAfterWarmUp = 0;
    int maxLiveReplies = 0;
    int errors = 0;
    int cycles = 0;
};

qint64 statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

int liveReplies(const VelmorDeviceModel &model)
{
    return model.findChildren<VelmorbusReply *>().size() + model.findChildren<QModbusReply *>().size();
}

// Runs `cycles` update cycles back to back and records memory and reply counts.
Figures soak(VelmorDeviceModel &model, int cycles, int warmUpCycles)
{
    Figures figures;
    QEventLoop loop;
    QObject::connect(&model, &VelmorDeviceModel::errorOccured, &loop, [&figures] { ++figures.errors; });
    QObject::connect(&model, &VelmorDeviceModel::updateFinished, &loop, [&] {
        ++figures.cycles;
        const int live = liveReplies(model);
        figures.maxLiveReplies = qMax(figures.maxLiveReplies, live);
        if (figures.cycles == warmUpCycles) {
            figures.rssAfterWarmUpKb = statusKb("VmRSS:");
            figures.liveRepliesAfterWarmUp = live;
        }
        if (figures.cycles % 1000 == 0)
            std::fprintf(stderr, "  %d cycles, RSS %lld kB\n", figures.cycles, statusKb("VmRSS:"));
        if (figures.cycles == cycles)
            loop.quit();
        else
            QMetaObject::invokeMethod(&model, &VelmorDeviceModel::updateDeviceModel, Qt::QueuedConnection);
    });
    model.updateDeviceModel();
    loop.exec();
    figures.rssAtEndKb = statusKb("VmRSS:");
    figures.peakRssKb = statusKb("VmHWM:");
    return figures;
}

bool report(const char *name, const Figures &figures)
{
    const double growth = 100.0 * (figures.rssAtEndKb - figures.rssAfterWarmUpKb) / qMax<qint64>(1, figures.rssAfterWarmUpKb);
    const bool ok = growth <= 5.0 && figures.maxLiveReplies <= 1;
    std::printf("%-14s cycles %6d  errors %5d  RSS after 100 cycles %6lld kB  at end %6lld kB (%+.2f %%)  "
                "peak %6lld kB  live replies max %d  %s\n",
                name, figures.cycles, figures.errors, figures.rssAfterWarmUpKb, figures.rssAtEndKb, growth,
                figures.peakRssKb, figures.maxLiveReplies, ok ? "OK" : "FAILED");
    return ok;
}

QByteArray faultyAnswer(const FakeVelmorController::Request &request, QRandomGenerator &random)
{
    const QByteArray good = FakeVelmorController::readAnswer(request, QByteArray::fromHex("01020304"));
    switch (random.bounded(40)) {
    case 0:
        return QByteArray();
    case 1:
        return VelmorbusFrame::build(request.id + 1, good.mid(1, good.size() - 3));
    case 2:
        return good.left(good.size() - 1) + char(good.back() ^ 0x5A);
    case 3:
        return good.left(5);
    case 4:
        return FakeVelmorController::readAnswer(request, QByteArray(), 0x20);
    case 5:
        return good + QByteArray::fromHex("5555");
    default:
        return good;
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int cycles = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    const int warmUpCycles = 100;
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    DescriptionDir dir;
    QRandomGenerator random(20261208);

    FakeVelmorController controller;
    controller.setHandler([&random, &controller](const FakeVelmorController::Request &request) {
        controller.clearHistory();
        return faultyAnswer(request, random);
    });
    VelmorDeviceModel velmor(dir.write("velmor.yml", "protocol: VelmorBUS RTU\nport: " + controller.portName().toUtf8()
                                                         + "\nid: 1\nvariables:\n  - addr: 1\n    type: int32\n"));
    velmor.setInterQueryDelay(0);
    velmor.connectDevice();

    RecordingModbusServer server;
    if (!server.listen())
        return 2;
    server.setOverride([&random, &server](const QModbusRequest &request) -> QModbusResponse {
        server.clearRequests();
        if (random.bounded(20) == 0)
            return QModbusExceptionResponse(request.functionCode(), QModbusPdu::ServerDeviceBusy);
        return QModbusResponse();
    });
    VelmorDeviceModel modbus(dir.write("modbus.yml", "protocol: ModBUS TCP\nport: " + QByteArray::number(server.port())
                                                         + "\nid: 1\nvariables:\n  - addr: 1\n  - addr: 3\n"
                                                           "    type: float32\n  - addr: 5\n    type: int16\n"));
    modbus.setInterQueryDelay(0);
    modbus.connectDevice();

    std::printf("Soak: %d cycles per protocol with random faults\n", cycles);
    const bool modbusOk = report("ModBUS TCP", soak(modbus, cycles, warmUpCycles));
    const bool velmorOk = report("VelmorBUS RTU", soak(velmor, cycles, warmUpCycles));
    return modbusOk && velmorOk ? 0 : 1;
}
