// velmor-tool's own main window showing 1,000 variables with auto update at interQueryDelay 0
// against velmor-sim: processor use of both processes and repaints of the variable table.
// The window is built from the tool's sources and driven through its actions, as a user
// would through the context menu; it runs under QT_QPA_PLATFORM=offscreen, so a repaint
// is painted into the backing store but shown on no screen.
#include "descriptionwriter.h"
#include "mainwindow.h"
#include "paintcounter.h"
#include "processmemory.h"
#include "resultrow.h"
#include "serverprocess.h"
#include "velmordevicemodel.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLocale>
#include <QEventLoop>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <cstdio>

namespace {

constexpr int variableCount = 1000;
constexpr int warmUpMs = 1500;
constexpr int measureMs = 6000;
// A display shows at most this many frames a second; more repaints are never seen.
constexpr double coalescedRepaintsPerSecond = 60;
// The repaint pause of the coalescing connection tried for comparison: 25 frames a second.
constexpr int coalescingIntervalMs = 40;

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "bench-toolview: %s\n", qPrintable(message));
    std::exit(1);
}

void runEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

template <typename T>
T *child(QObject &parent, const char *name)
{
    T *found = parent.findChild<T *>(QLatin1String(name));
    if (!found)
        fail(QStringLiteral("the window has no %1").arg(QLatin1String(name)));
    return found;
}

class Phase
{
public:
    Phase(VelmorDeviceModel *model, PaintCounter *paints, qint64 simPid)
        : m_paints(paints)
        , m_simPid(simPid)
    {
        QObject::connect(model, &VelmorDeviceModel::updateViewport, [this] { ++m_stored; });
        QObject::connect(model, &VelmorDeviceModel::updateFinished, [this] { ++m_cycles; });
    }

    void measure(const QString &label)
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
                                 .arg(QLocale(QLocale::English).toString(variableCount), label);
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

private:
    PaintCounter *m_paints;
    qint64 m_simPid;
    int m_stored = 0;
    int m_cycles = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir dir;
    const quint16 port = ServerProcess::freeTcpPort();
    // The window loads tags/default.yml from the working directory at start.
    if (!QDir(dir.path()).mkpath(QStringLiteral("tags")))
        fail(QStringLiteral("cannot create %1/tags").arg(dir.path()));
    const QString path = dir.filePath(QStringLiteral("tags/default.yml"));
    if (!DescriptionWriter::writeModbusTcp(path, variableCount, port))
        fail(QStringLiteral("cannot write %1").arg(path));

    ServerProcess sim;
    const QString simProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/../sim/velmor-sim");
    if (!sim.start(simProgram, {path, QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port),
                                QStringLiteral("--static")}, port))
        fail(sim.errorText());

    QDir::setCurrent(dir.path());
    MainWindow window;
    window.resize(1280, 800);
    window.show();
    child<QListWidget>(window, "listDevices")->setCurrentRow(0);
    auto *model = window.findChild<VelmorDeviceModel *>();
    if (!model)
        fail(QStringLiteral("the window did not load %1").arg(path));
    PaintCounter paints(child<QTreeView>(window, "treeView")->viewport());
    model->setInterQueryDelay(0);

    child<QAction>(window, "actionConnect")->trigger();
    auto *autoUpdate = child<QAction>(window, "actionAutoUpdate");
    autoUpdate->setEnabled(true);
    autoUpdate->trigger();
    if (!model->autoUpdate())
        fail(QStringLiteral("auto update did not start"));

    Phase phase(model, &paints, sim.pid());
    phase.measure(QStringLiteral("interUpdateDelay %1 ms").arg(model->interUpdateDelay()));
    model->setInterUpdateDelay(0);
    phase.measure(QStringLiteral("interUpdateDelay 0 ms"));

    // For comparison: the same window with its repaints gathered by a timer, so that many
    // stored values share one repaint.
    QWidget *viewport = child<QTreeView>(window, "treeView")->viewport();
    QObject::disconnect(model, &VelmorDeviceModel::updateViewport, viewport, nullptr);
    QTimer coalescer;
    coalescer.setSingleShot(true);
    coalescer.setInterval(coalescingIntervalMs);
    QObject::connect(&coalescer, &QTimer::timeout, viewport, QOverload<>::of(&QWidget::update));
    QObject::connect(model, &VelmorDeviceModel::updateViewport, &coalescer, [&coalescer] {
        if (!coalescer.isActive())
            coalescer.start();
    });
    phase.measure(QStringLiteral("interUpdateDelay 0 ms, repaints through a %1 ms timer (bench only)")
                      .arg(coalescingIntervalMs));
    return 0;
}
