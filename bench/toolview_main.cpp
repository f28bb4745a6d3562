// velmor-tool's own main window showing 1,000 variables with auto update at interQueryDelay 0
// against velmor-sim: processor use of both processes and repaints of the variable table.
// The window is built from the tool's sources and driven through its actions, as a user
// would through the context menu; it runs under QT_QPA_PLATFORM=offscreen, so a repaint
// is painted into the backing store but shown on no screen.
#include "descriptionwriter.h"
#include "mainwindow.h"
#include "paintcounter.h"
#include "repaintphase.h"
#include "serverprocess.h"
#include "velmordevicemodel.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <cstdio>

namespace {

constexpr int variableCount = 1000;
// The repaint pause of the coalescing connection tried for comparison: 25 frames a second.
constexpr int coalescingIntervalMs = 40;

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "bench-toolview: %s\n", qPrintable(message));
    std::exit(1);
}

template <typename T>
T *child(QObject &parent, const char *name)
{
    T *found = parent.findChild<T *>(QLatin1String(name));
    if (!found)
        fail(QStringLiteral("the window has no %1").arg(QLatin1String(name)));
    return found;
}

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

    RepaintPhase phase(model, &paints, sim.pid(), variableCount);
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
