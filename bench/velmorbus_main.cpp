// Velmorbus over a pseudo-terminal at 115200 baud with interQueryDelay 0: the median time
// per variable of VelmorDeviceModel against the floor of one exchange (the inter-frame
// delay that ends a response plus the wire time of request and answer), beside a bare
// VelmorbusRtuSerialMaster loop.
#include "descriptionwriter.h"
#include "ptycontroller.h"
#include "resultrow.h"
#include "velmorbuspacket.h"
#include "velmorbusreply.h"
#include "velmorbusrtuserialmaster.h"
#include "velmordevicemodel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

constexpr int baudRate = 115200;
constexpr int variableCount = 100;
constexpr int cycles = 2;
constexpr int interFrameDelayMs = 20;
constexpr double targetMarginMs = 1.0;
constexpr quint8 deviceId = 1;

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "bench-velmorbus: %s\n", qPrintable(message));
    std::exit(1);
}

// Milliseconds per variable: from the start of a cycle to the first stored value, then
// from each stored value to the next.
QVector<double> modelIntervals(VelmorDeviceModel &model)
{
    QVector<double> intervals;
    QElapsedTimer clock;
    qint64 lastNs = 0;
    QObject::connect(&model, &VelmorDeviceModel::updateViewport, [&] {
        const qint64 now = clock.nsecsElapsed();
        intervals.append((now - lastNs) / 1e6);
        lastNs = now;
    });
    QObject::connect(&model, &VelmorDeviceModel::errorOccured, [](const QString &text) {
        fail(QStringLiteral("model: %1").arg(text));
    });
    for (int cycle = 0; cycle < cycles; ++cycle) {
        QEventLoop loop;
        QObject::connect(&model, &VelmorDeviceModel::updateFinished, &loop, &QEventLoop::quit);
        clock.start();
        lastNs = 0;
        model.updateDeviceModel();
        loop.exec();
    }
    return intervals;
}

// The same reads straight through the master: the next request leaves from the event
// loop as soon as the previous reply has finished.
QVector<double> masterIntervals(const QString &portName, int count)
{
    VelmorbusRtuSerialMaster master;
    master.setPortName(portName);
    master.setBaudRate(baudRate);
    if (!master.open())
        fail(QStringLiteral("the bare master cannot open %1").arg(portName));
    QVector<double> intervals;
    QEventLoop loop;
    QElapsedTimer clock;
    std::function<void()> sendNext = [&] {
        const int index = intervals.size();
        VelmorbusReply *reply = master.sendRequest(VelmorBusPacket(VelmorBusPacket::CmdRead, quint16(index * 4), 4), deviceId);
        if (!reply)
            fail(QStringLiteral("the bare master refused a request"));
        QObject::connect(reply, &VelmorbusReply::finished, &loop, [&, reply] {
            reply->deleteLater();
            if (reply->error() != VelmorbusReply::NoError)
                fail(QStringLiteral("bare master: %1").arg(reply->errorString()));
            intervals.append(clock.nsecsElapsed() / 1e6);
            clock.start();
            if (intervals.size() == count)
                loop.quit();
            else
                QTimer::singleShot(0, Qt::PreciseTimer, &loop, sendNext);
        });
    };
    clock.start();
    sendNext();
    loop.exec();
    return intervals;
}

QString milliseconds(double ms)
{
    return QStringLiteral("%1 ms").arg(ResultRow::number(ms, 3));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    PtyController controller(baudRate);
    if (!controller.isOpen())
        fail(QStringLiteral("no pseudo-terminal"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("velmorbus.yml"));
    if (!DescriptionWriter::writeVelmorbusRtu(path, variableCount, controller.slavePath(), baudRate))
        fail(QStringLiteral("cannot write %1").arg(path));

    const double floorMs = interFrameDelayMs + controller.wireTimeNs() / 1e6;
    QVector<double> modelTimes;
    {
        VelmorDeviceModel model(path);
        if (!model.valid())
            fail(QStringLiteral("the model refused %1").arg(path));
        model.setInterQueryDelay(0);
        model.connectDevice();
        if (!model.connected())
            fail(QStringLiteral("the model cannot open %1").arg(controller.slavePath()));
        modelTimes = modelIntervals(model);
        model.disconnectDevice();
    }
    const QVector<double> masterTimes = masterIntervals(controller.slavePath(), variableCount * cycles);

    const double modelMedian = ResultRow::median(modelTimes);
    const double masterMedian = ResultRow::median(masterTimes);
    const QString name = QStringLiteral("Velmorbus RTU, pty at %1 baud, interQueryDelay 0: time per variable, ").arg(baudRate);
    const QString floorText = QStringLiteral("floor %1 (%2 ms silence + 20 bytes on the wire)")
                                  .arg(milliseconds(floorMs)).arg(interFrameDelayMs);
    ResultRow{name + QStringLiteral("VelmorDeviceModel (median of %1)").arg(modelTimes.size()),
              milliseconds(modelMedian), floorText, QStringLiteral("+%1").arg(milliseconds(modelMedian - floorMs)),
              QStringLiteral("<= floor + %1 ms").arg(targetMarginMs),
              ResultRow::verdict(modelMedian - floorMs <= targetMarginMs)}.print();
    ResultRow{name + QStringLiteral("bare VelmorbusRtuSerialMaster loop (median of %1)").arg(masterTimes.size()),
              milliseconds(masterMedian), floorText, QStringLiteral("+%1").arg(milliseconds(masterMedian - floorMs)),
              QString(), QString()}.print();
    return 0;
}
