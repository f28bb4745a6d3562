// Description load: time and peak memory of VelmorDeviceModel construction beside
// yaml-cpp's own load of the same file (YAML::LoadFile, which is YAML::Load of the file's
// stream). Every measurement runs in a fresh process of this program, so each peak
// resident set belongs to one load alone.
//
//   bench-load                     runs every size and prints the table rows
//   bench-load model|yaml|link FILE  one measurement: "<ns> <KiB before> <KiB peak>"
//                                  (link: the model's link object alone, a QModbusTcpClient)
#include "descriptionwriter.h"
#include "processmemory.h"
#include "resultrow.h"
#include "velmordevicemodel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QModbusTcpClient>
#include <QProcess>
#include <QTemporaryDir>

#include <yaml-cpp/yaml.h>

#include <cstdio>

namespace {

constexpr double target = 1.1;

struct Sample {
    double ms = 0;
    double growthMiB = 0; // peak resident set minus the resident set before the load
};

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "bench-load: %s\n", qPrintable(message));
    std::exit(1);
}

int measureOnce(const QString &mode, const QString &path)
{
    const qint64 beforeKiB = ProcessMemory::currentKiB();
    QElapsedTimer timer;
    timer.start();
    qint64 elapsed = 0;
    if (mode == QLatin1String("model")) {
        const VelmorDeviceModel model(path);
        elapsed = timer.nsecsElapsed();
        if (!model.valid())
            fail(QStringLiteral("the model refused %1").arg(path));
    } else if (mode == QLatin1String("link")) {
        const QModbusTcpClient client;
        elapsed = timer.nsecsElapsed();
    } else {
        const YAML::Node root = YAML::LoadFile(path.toStdString());
        elapsed = timer.nsecsElapsed();
        if (!root["variables"].IsSequence())
            fail(QStringLiteral("yaml-cpp found no variables in %1").arg(path));
    }
    std::printf("%lld %lld %lld\n", elapsed, beforeKiB, ProcessMemory::peakKiB());
    return 0;
}

Sample runFresh(const QString &mode, const QString &path)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QCoreApplication::applicationFilePath(), {mode, path});
    if (!process.waitForFinished(300000) || process.exitCode() != 0)
        fail(QStringLiteral("the %1 measurement of %2 failed").arg(mode, path));
    const QList<QByteArray> fields = process.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() != 3)
        fail(QStringLiteral("the %1 measurement printed no figures").arg(mode));
    return {fields.at(0).toLongLong() / 1e6, (fields.at(2).toLongLong() - fields.at(1).toLongLong()) / 1024.0};
}

QString formatted(double value, const char *unit)
{
    return QStringLiteral("%1 %2").arg(ResultRow::number(value, value < 10 ? 2 : 1), QLatin1String(unit));
}

void printRows(int count, const QVector<Sample> &model, const QVector<Sample> &yaml)
{
    QVector<double> modelMs, yamlMs, modelMiB, yamlMiB;
    for (const Sample &sample : model) {
        modelMs.append(sample.ms);
        modelMiB.append(sample.growthMiB);
    }
    for (const Sample &sample : yaml) {
        yamlMs.append(sample.ms);
        yamlMiB.append(sample.growthMiB);
    }
    const QString name = QStringLiteral("Description load, %1 vars: ").arg(QLocale(QLocale::English).toString(count));
    const QString limit = QStringLiteral("<= %1").arg(target);
    const double msRatio = ResultRow::median(modelMs) / ResultRow::median(yamlMs);
    ResultRow{name + QStringLiteral("time (median of %1)").arg(model.size()),
              QStringLiteral("model %1").arg(formatted(ResultRow::median(modelMs), "ms")),
              QStringLiteral("YAML::LoadFile %1").arg(formatted(ResultRow::median(yamlMs), "ms")),
              ResultRow::number(msRatio, 2), limit, ResultRow::verdict(msRatio <= target)}.print();
    const double memRatio = ResultRow::median(modelMiB) / ResultRow::median(yamlMiB);
    ResultRow{name + QStringLiteral("peak RSS growth"),
              QStringLiteral("model %1").arg(formatted(ResultRow::median(modelMiB), "MiB")),
              QStringLiteral("YAML::LoadFile %1").arg(formatted(ResultRow::median(yamlMiB), "MiB")),
              ResultRow::number(memRatio, 2), limit, ResultRow::verdict(memRatio <= target)}.print();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 3)
        return measureOnce(arguments.at(1), arguments.at(2));

    QTemporaryDir dir;
    const struct {
        int count;
        int rounds;
    } sizes[] = {{1000, 9}, {10000, 7}, {100000, 5}};
    for (const auto &size : sizes) {
        const QString path = dir.filePath(QStringLiteral("load-%1.yml").arg(size.count));
        if (!DescriptionWriter::writeModbusTcp(path, size.count, 502))
            fail(QStringLiteral("cannot write %1").arg(path));
        QVector<Sample> model, yaml;
        for (int round = 0; round < size.rounds; ++round) {
            model.append(runFresh(QStringLiteral("model"), path));
            yaml.append(runFresh(QStringLiteral("yaml"), path));
        }
        printRows(size.count, model, yaml);
    }

    // What every model pays whatever its size: the link object the description asks for.
    QVector<double> linkMiB;
    for (int round = 0; round < 5; ++round)
        linkMiB.append(runFresh(QStringLiteral("link"), dir.filePath(QStringLiteral("load-1000.yml"))).growthMiB);
    ResultRow{QStringLiteral("Description load: the model's link object alone (a QModbusTcpClient), peak RSS growth"),
              formatted(ResultRow::median(linkMiB), "MiB"), QStringLiteral("fixed part of every model's growth"),
              QString(), QString(), QString()}.print();
    return 0;
}
