#include "repaintphase.h"

#include "paintcounter.h"
#include "processmemory.h"
#include "resultrow.h"
#include "velmordevicemodel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLocale>
#include <QTimer>

namespace {

constexpr int warmUpMs = 1500;
constexpr int measureMs = 6000;
// A display shows at most this many frames a second; more repaints are never seen.
constexpr double coalescedRepaintsPerSecond = 60;

void runEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

RepaintPhase::RepaintPhase(VelmorDeviceModel *model, PaintCounter *paints, qint64 simPid, int variableCount)
    : m_paints(paints)
    , m_simPid(simPid)
    , m_variableCount(variableCount)
{
    QObject::connect(model, &VelmorDeviceModel::updateViewport, [this] { ++m_stored; });
    QObject::connect(model, &VelmorDeviceModel::updateFinished, [this] { ++m_cycles; });
}

void RepaintPhase::measure(const QString &label)
{
    runEventLoop(warmUpMs);
    const double toolCpu0 = ProcessMemory::cpuSeconds(QCoreApplication::applicationPid());
    const double simCpu0 = ProcessMemory::cpuSeconds(m_simPid);
    m_paints->reset();
    m_stored = 0;
    m_cycles = 0;
    QElapsedTimer clock;
    clock.start();
    runEventLoop(measureMs);
    const double seconds = clock.nsecsElapsed() / 1e9;
    const double toolCpu = (ProcessMemory::cpuSeconds(QCoreApplication::applicationPid()) - toolCpu0) / seconds;
    const double simCpu = (ProcessMemory::cpuSeconds(m_simPid) - simCpu0) / seconds;
    const double repaints = m_paints->count() / seconds;
    const double stored = m_stored / seconds;

    const QString name = QStringLiteral("velmor-tool, %1 vars, auto update, interQueryDelay 0, %2: ")
                             .arg(QLocale(QLocale::English).toString(m_variableCount), label);
    ResultRow{name + QStringLiteral("CPU"),
              QStringLiteral("tool %1 %, velmor-sim %2 % of one core").arg(ResultRow::number(100 * toolCpu, 0),
                                                                           ResultRow::number(100 * simCpu, 0)),
              QStringLiteral("%1 vars/s polled, %2 cycles/s").arg(ResultRow::number(stored, 0),
                                                                  ResultRow::number(m_cycles / seconds, 2)),
              QString(), QString(), QString()}.print();
    ResultRow{name + QStringLiteral("viewport repaints"), QStringLiteral("%1 /s").arg(ResultRow::number(repaints, 1)),
              QStringLiteral("%1 update() calls/s").arg(ResultRow::number(stored, 0)),
              ResultRow::number(stored > 0 ? repaints / stored : 0, 4),
              QStringLiteral("<= %1 /s").arg(coalescedRepaintsPerSecond),
              ResultRow::verdict(repaints <= coalescedRepaintsPerSecond)}.print();
}
