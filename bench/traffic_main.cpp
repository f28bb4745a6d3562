// The traffic monitor's cost per traced frame: appending to the bounded log with its ring
// full, alone and with the dock shown (append, the batched publishing to the view and the
// repaint), offscreen. Printed as the median over rounds of the mean cost per frame.
#include "resultrow.h"
#include "trafficdock.h"
#include "trafficlog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLocale>

#include <functional>

namespace {

constexpr int rounds = 21;
constexpr int framesPerRound = 20000;
// Frames between two publishings with the dock shown: a busy line in one 100 ms period.
constexpr int framesPerBatch = 500;
constexpr double targetUs = 50;

// A Modbus read of one register and its answer, as a polled device traces them. Made once:
// the model hands over its time and bytes, which the log only copies.
const TrafficFrame &frame(int number)
{
    static const QString device = QStringLiteral("Котёл");
    static const QDateTime time = QDateTime::currentDateTime();
    static const TrafficFrame request{time, 0, device, FrameDecode::Protocol::Modbus, true,
                                      QByteArray::fromHex("010300640001")};
    static const TrafficFrame answer{time, 0, device, FrameDecode::Protocol::Modbus, false,
                                     QByteArray::fromHex("0103020D7A")};
    return number % 2 == 0 ? request : answer;
}

// Mean microseconds per frame of each round.
QVector<double> perFrameUs(const std::function<void(int)> &appendFrame)
{
    QVector<double> means;
    int number = 0;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < framesPerRound; ++i)
            appendFrame(number++);
        means.append(double(timer.nsecsElapsed()) / 1e3 / framesPerRound);
    }
    return means;
}

void fill(TrafficLog &log)
{
    for (int number = 0; number < log.capacity(); ++number)
        log.append(frame(number));
    log.publishPending();
}

void printRow(const QString &name, double medianUs)
{
    ResultRow{name, QStringLiteral("%1 µs").arg(ResultRow::number(medianUs, 3)), QStringLiteral("-"),
              QStringLiteral("-"), QStringLiteral("< %1 µs").arg(targetUs), ResultRow::verdict(medianUs < targetUs)}
        .print();
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString capacity = QLocale(QLocale::English).toString(TrafficLog::defaultCapacity);

    TrafficLog alone;
    fill(alone);
    printRow(QStringLiteral("Traffic log append, ring of %1 full, no view (mean per frame, median of rounds)").arg(capacity),
             ResultRow::median(perFrameUs([&alone](int number) { alone.append(frame(number)); })));

    TrafficDock dock;
    dock.resize(1000, 400);
    dock.show();
    fill(*dock.log());
    QApplication::processEvents();
    printRow(QStringLiteral("Traffic dock shown, ring full: append + publish every %1 frames + repaint (mean per frame)")
                 .arg(framesPerBatch),
             ResultRow::median(perFrameUs([&dock](int number) {
                 dock.log()->append(frame(number));
                 if (number % framesPerBatch == framesPerBatch - 1) {
                     dock.log()->publishPending();
                     dock.repaint();
                 }
             })));
    return 0;
}
