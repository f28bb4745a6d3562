#include "csvlogger.h"
#include "descriptiondir.h"
#include "readingfeed.h"
#include "trendcsvreader.h"
#include "trendcsvwriter.h"
#include "trendrecorder.h"
#include "trendseries.h"
#include "velmordevicemodel.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <ctime>
#include <limits>

using Table = QVector<QVector<double>>;

namespace {

const double gap = std::numeric_limits<double>::quiet_NaN();
// 2026-03-01T12:00:00.000Z
const qint64 startMs = 1772366400000;
const qint64 cycleStepMs = 1000;

qint64 cycleTimeMs(int cycle)
{
    return startMs + 250 + cycle * cycleStepMs;
}

// A recorded source: one cycle per table row, each reading a few ms before its cycle end.
int record(TrendRecorder &recorder, const QStringList &names, const Table &table)
{
    QVector<TrendVariable> variables;
    for (const QString &name : names)
        variables.append(TrendVariable{name});
    const int source = recorder.addSource(QStringLiteral("Plant"), variables);
    for (int cycle = 0; cycle < table.size(); ++cycle) {
        for (int variable = 0; variable < names.size(); ++variable) {
            const double value = table.at(cycle).at(variable);
            if (std::isnan(value))
                recorder.appendGap(source, variable, cycleTimeMs(cycle) - 30 + variable);
            else
                recorder.append(source, variable, cycleTimeMs(cycle) - 30 + variable, value);
        }
        recorder.endCycle(source, cycleTimeMs(cycle), 900 + cycle);
    }
    return source;
}

// Every cycle as "time/cycle ms" and the values at its time, all digits; "gap" for none.
QStringList cycleTexts(const TrendRecorder &recorder, int source)
{
    QStringList texts;
    for (const TrendCycle &cycle : recorder.cycles(source)) {
        QStringList cells{QStringLiteral("%1/%2").arg(cycle.timeMs).arg(cycle.cycleMs)};
        for (int variable = 0; variable < recorder.variables(source).size(); ++variable) {
            const TrendSeries &series = recorder.series(source, variable);
            const int index = series.lastAtOrBefore(cycle.timeMs);
            const bool reading = index >= 0 && series.at(index).timeMs == cycle.timeMs && !series.at(index).isGap();
            cells << (reading ? QString::number(series.at(index).min, 'g', 17) : QStringLiteral("gap"));
        }
        texts << cells.join(QLatin1Char(' '));
    }
    return texts;
}

QStringList tableTexts(const Table &table)
{
    QStringList texts;
    for (int cycle = 0; cycle < table.size(); ++cycle) {
        QStringList cells{QStringLiteral("%1/%2").arg(cycleTimeMs(cycle)).arg(900 + cycle)};
        for (double value : table.at(cycle))
            cells << (std::isnan(value) ? QStringLiteral("gap") : QString::number(value, 'g', 17));
        texts << cells.join(QLatin1Char(' '));
    }
    return texts;
}

QVector<int> allVariables(const TrendRecorder &recorder, int source)
{
    QVector<int> variables;
    for (int variable = 0; variable < recorder.variables(source).size(); ++variable)
        variables.append(variable);
    return variables;
}

QByteArray contents(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// Trends exported as and opened from the CSV files velmor-cli --csv writes.
class TestTrendCsv : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void exportedTextIsVelmorCliFormat();
    void exportThenOpenRoundTripsExactly_data();
    void exportThenOpenRoundTripsExactly();
    void exportOfARange_data();
    void exportOfARange();
    void spikesSurviveThinning();
    void reExportOfAnOpenedFileIsByteIdentical();
    void velmorCliFileOpens_data();
    void velmorCliFileOpens();
    void refusals_data();
    void refusals();
    void fileOverTheLimitIsRefused();
    void writeToAnUnwritablePlaceFailsAndLeavesNoFile();

private:
    QString path(const QString &name) const;
    QString write(const QString &name, const QByteArray &bytes) const;

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestTrendCsv::initTestCase()
{
    // Central European time: rows carry +01:00 in winter and +02:00 in summer.
    qputenv("TZ", "Europe/Berlin");
    tzset();
}

void TestTrendCsv::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TestTrendCsv::path(const QString &name) const
{
    return m_dir->filePath(name);
}

QString TestTrendCsv::write(const QString &name, const QByteArray &bytes) const
{
    QFile file(path(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    return file.fileName();
}

void TestTrendCsv::exportedTextIsVelmorCliFormat()
{
    TrendRecorder recorder;
    const int source = record(recorder, {"Level", "Temp, \"outer\"", "Count"},
                              {{-2147483648.0, 0.1, 10000000}, {4294967295.0, gap, 1e-7}});
    TrendCsvWriter writer(recorder);
    QVERIFY2(writer.write(path("plant.csv"), source, {0, 1, 2}, startMs, startMs + 10 * cycleStepMs),
             qPrintable(writer.errorText()));

    QCOMPARE(contents(path("plant.csv")), QByteArray("time,cycle_ms,Level,\"Temp, \"\"outer\"\"\",Count\n"
                                                     "2026-03-01T13:00:00.250+01:00,900,-2147483648,0.1,10000000\n"
                                                     "2026-03-01T13:00:01.250+01:00,901,4294967295,,1e-07\n"));
}

void TestTrendCsv::exportThenOpenRoundTripsExactly_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<Table>("table");

    QTest::newRow("int32 and bit field extremes")
        << QStringList{"Signed", "Bits"}
        << Table{{-2147483648.0, 0}, {2147483647.0, 4294967295.0}, {0, 2147483648.0}};
    QTest::newRow("float32 texts") << QStringList{"Flow"} << Table{{0.1}, {1e-7}, {1234568}, {3.141593}, {1.234568e+07}};
    QTest::newRow("negative numbers") << QStringList{"T"} << Table{{-273.15}, {-1}, {-0.000123}};
    QTest::newRow("gaps, alone and in a row")
        << QStringList{"A", "B"} << Table{{gap, 1}, {2, gap}, {gap, gap}, {gap, gap}, {3, 4}, {gap, 5}};
    QTest::newRow("names with commas, quotes and line breaks")
        << QStringList{"a,b", "say \"hi\"", "two\nlines", "Температура, °C"} << Table{{1, 2, 3, 4}};
    QTest::newRow("no cycles") << QStringList{"A"} << Table{};
}

void TestTrendCsv::exportThenOpenRoundTripsExactly()
{
    QFETCH(QStringList, names);
    QFETCH(Table, table);

    TrendRecorder recorder;
    const int recorded = record(recorder, names, table);
    TrendCsvWriter writer(recorder);
    QVERIFY2(writer.write(path("plant.csv"), recorded, allVariables(recorder, recorded), startMs, cycleTimeMs(table.size())),
             qPrintable(writer.errorText()));

    TrendCsvReader reader(recorder);
    const int opened = reader.read(path("plant.csv"));
    QVERIFY2(opened >= 0, qPrintable(reader.errorText()));
    QCOMPARE(recorder.sourceName(opened), QStringLiteral("plant"));
    QVERIFY(!recorder.isLive(opened));
    QCOMPARE(recorder.variables(opened).size(), names.size());
    for (int variable = 0; variable < names.size(); ++variable)
        QCOMPARE(recorder.variables(opened).at(variable).name, names.at(variable));
    QCOMPARE(cycleTexts(recorder, opened), tableTexts(table));
}

void TestTrendCsv::exportOfARange_data()
{
    QTest::addColumn<qint64>("fromMs");
    QTest::addColumn<qint64>("toMs");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("bounds on cycle ends keep both") << cycleTimeMs(1) << cycleTimeMs(3)
                                                    << QStringList{"13:00:01.250+01:00,901,1", "13:00:02.250+01:00,902,",
                                                                   "13:00:03.250+01:00,903,3"};
    QTest::newRow("bounds between cycle ends") << cycleTimeMs(0) + 1 << cycleTimeMs(2) - 1
                                               << QStringList{"13:00:01.250+01:00,901,1"};
    QTest::newRow("before the first cycle") << startMs - 5000 << startMs << QStringList{};
    QTest::newRow("one millisecond") << cycleTimeMs(4) << cycleTimeMs(4) << QStringList{"13:00:04.250+01:00,904,4"};
}

void TestTrendCsv::exportOfARange()
{
    QFETCH(qint64, fromMs);
    QFETCH(qint64, toMs);
    QFETCH(QStringList, rows);

    TrendRecorder recorder;
    const int source = record(recorder, {"A"}, {{0}, {1}, {gap}, {3}, {4}});
    TrendCsvWriter writer(recorder);
    QVERIFY(writer.write(path("range.csv"), source, {0}, fromMs, toMs));

    QStringList expected{"time,cycle_ms,A"};
    for (const QString &row : rows)
        expected << "2026-03-01T" + row;
    QCOMPARE(QString::fromUtf8(contents(path("range.csv"))), expected.join('\n') + '\n');
}

// Readings past the memory budget are thinned into envelopes; of an envelope's min and
// max the row shows the one farther from the value before, so that a spike either way survives.
void TestTrendCsv::spikesSurviveThinning()
{
    TrendRecorder recorder;
    recorder.setBudgetBytes(qint64(sizeof(TrendSample)) * 256);
    Table table(400, {10});
    table[100] = {-50};
    table[150] = {90};
    const int source = record(recorder, {"A"}, table);

    TrendCsvWriter writer(recorder);
    QVERIFY(writer.write(path("spikes.csv"), source, {0}, startMs, cycleTimeMs(table.size())));
    const QByteArray text = contents(path("spikes.csv"));
    QVERIFY(text.contains(",-50\n"));
    QVERIFY(text.contains(",90\n"));
}

void TestTrendCsv::reExportOfAnOpenedFileIsByteIdentical()
{
    TrendRecorder recorder;
    const int recorded = record(recorder, {"Level", "Flow, m³/h", "\"Q\""},
                                {{1, 0.1, gap}, {gap, 1e-7, -5}, {gap, gap, -2147483648.0}, {4294967295.0, -273.15, 7}});
    TrendCsvWriter writer(recorder);
    QVERIFY(writer.write(path("first.csv"), recorded, {0, 1, 2}, startMs, cycleTimeMs(10)));
    TrendCsvReader reader(recorder);
    const int opened = reader.read(path("first.csv"));
    QVERIFY2(opened >= 0, qPrintable(reader.errorText()));

    const QPair<qint64, qint64> span = recorder.timeSpan(opened);
    QVERIFY(writer.write(path("second.csv"), opened, {0, 1, 2}, span.first, span.second));
    QCOMPARE(contents(path("second.csv")), contents(path("first.csv")));
}

void TestTrendCsv::velmorCliFileOpens_data()
{
    QTest::addColumn<QString>("deviceName");
    QTest::addColumn<QString>("sourceName");
    QTest::newRow("single device, no device column") << QString() << QStringLiteral("boiler-log");
    QTest::newRow("with the device column") << QStringLiteral("Boiler, east") << QStringLiteral("Boiler, east");
}

// The file velmor-cli's own logger writes for a model whose values were set.
void TestTrendCsv::velmorCliFileOpens()
{
    QFETCH(QString, deviceName);
    QFETCH(QString, sourceName);

    DescriptionDir descriptions;
    VelmorDeviceModel model(descriptions.write(QStringLiteral("boiler.yml"),
                                               "protocol: ModBUS RTU\nvariables:\n"
                                               "  - {name: 'Flow, \"main\"', addr: 1, type: float32}\n"
                                               "  - {name: Alarms, addr: 3, type: int32, bitfield: true}\n"
                                               "  - {name: Count, addr: 5, type: int32}\n"));
    QVERIFY(model.valid());
    QVERIFY(model.setVarValue(0, 12345678.9));
    QVERIFY(model.setVarValue(1, 4294967295u));
    QVERIFY(model.setVarValue(2, -2147483647));
    ReadingFeed feed(&model);
    CsvLogger logger(&feed, false, deviceName);
    QString error;
    QVERIFY2(logger.open(path("boiler-log.csv"), &error), qPrintable(error));
    const QDateTime first = QDateTime::fromMSecsSinceEpoch(cycleTimeMs(0));
    QVERIFY(logger.logCycle(first, 950, {}));
    QVERIFY(logger.logCycle(first.addMSecs(cycleStepMs), 960, {2}));

    TrendRecorder recorder;
    TrendCsvReader reader(recorder);
    const int opened = reader.read(path("boiler-log.csv"));
    QVERIFY2(opened >= 0, qPrintable(reader.errorText()));
    QCOMPARE(recorder.sourceName(opened), sourceName);
    QCOMPARE(recorder.variables(opened).first().name, QStringLiteral("Flow, \"main\""));
    const QString flow = QString::number(model.varNumber(0), 'g', 17);
    QCOMPARE(cycleTexts(recorder, opened),
             QStringList({QStringLiteral("%1/950 %2 4294967295 -2147483647").arg(cycleTimeMs(0)).arg(flow),
                          QStringLiteral("%1/960 %2 4294967295 gap").arg(cycleTimeMs(1)).arg(flow)}));
}

void TestTrendCsv::refusals_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("reason");

    const QByteArray header = "time,cycle_ms,A,B\n";
    const QByteArray goodRow = "2026-03-01T13:00:00.250+01:00,900,1,2\n";
    const QString notAHeader = QStringLiteral("строка 1: ожидался заголовок time[,device],cycle_ms и имена переменных");
    QTest::newRow("empty file") << QByteArray() << notAHeader;
    QTest::newRow("not a velmor-cli header") << QByteArray("when,A\n") << notAHeader;
    QTest::newRow("row with a cell too few") << header + goodRow + "2026-03-01T13:00:01.250+01:00,900,1\n"
                                             << "строка 3: ячеек 3, а в заголовке 4";
    QTest::newRow("row with a cell too many") << header + "2026-03-01T13:00:01.250+01:00,900,1,2,3\n"
                                              << "строка 2: ячеек 5, а в заголовке 4";
    QTest::newRow("device column missing in a row")
        << QByteArray("time,device,cycle_ms,A\n2026-03-01T13:00:01.250+01:00,900,1\n") << "строка 2: ячеек 3, а в заголовке 4";
    QTest::newRow("unparsable time") << header + "yesterday,900,1,2\n" << "строка 2: время «yesterday» не прочитано";
    QTest::newRow("unparsable cycle time") << header + "2026-03-01T13:00:01.250+01:00,fast,1,2\n"
                                           << "строка 2: время цикла «fast» не прочитано";
    QTest::newRow("unparsable number") << header + goodRow + goodRow + "2026-03-01T13:00:01.250+01:00,900,1,x2\n"
                                       << "строка 4: «x2» — не число";
    QTest::newRow("decimal comma") << header + "2026-03-01T13:00:01.250+01:00,900,\"1,5\",2\n" << "строка 2: «1,5» — не число";
    QTest::newRow("not a finite number") << header + "2026-03-01T13:00:01.250+01:00,900,inf,2\n"
                                         << "строка 2: «inf» — не число";
    QTest::newRow("line number counts quoted line breaks")
        << QByteArray("time,cycle_ms,\"two\nlines\"\n2026-03-01T13:00:01.250+01:00,900,?\n") << "строка 3: «?» — не число";
    QTest::newRow("quote never closed") << header + "2026-03-01T13:00:01.250+01:00,900,\"1,2\n" << "строка 2: кавычки не закрыты";
    QTest::newRow("text after a closing quote") << header + "2026-03-01T13:00:01.250+01:00,900,\"1\"2,2\n"
                                                << "строка 2: текст после закрывающей кавычки";
}

void TestTrendCsv::refusals()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, reason);

    const QString fileName = write(QStringLiteral("bad.csv"), text);
    TrendRecorder recorder;
    TrendCsvReader reader(recorder);
    QCOMPARE(reader.read(fileName), -1);
    QCOMPARE(reader.errorText(), fileName + ": " + reason);
    QCOMPARE(recorder.sources(), QVector<int>());
}

void TestTrendCsv::fileOverTheLimitIsRefused()
{
    QFile file(path("huge.csv"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.write("time,cycle_ms,A\n") > 0);
    QVERIFY(file.resize(TrendCsvReader::maxFileBytes + 1));
    file.close();

    TrendRecorder recorder;
    TrendCsvReader reader(recorder);
    QCOMPARE(reader.read(file.fileName()), -1);
    QCOMPARE(reader.errorText(), file.fileName() + ": файл больше 64 МиБ");
}

void TestTrendCsv::writeToAnUnwritablePlaceFailsAndLeavesNoFile()
{
    TrendRecorder recorder;
    const int source = record(recorder, {"A"}, {{1}});
    const QString fileName = path("no such folder/plant.csv");

    TrendCsvWriter writer(recorder);
    QVERIFY(!writer.write(fileName, source, {0}, startMs, cycleTimeMs(1)));
    QVERIFY2(writer.errorText().startsWith("не удалось записать " + fileName + ": "), qPrintable(writer.errorText()));
    QVERIFY(!QFile::exists(fileName));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

QTEST_MAIN(TestTrendCsv)
#include "tst_trendcsv.moc"
