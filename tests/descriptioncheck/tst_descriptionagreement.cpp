#include "checkercases.h"
#include "descriptionchecker.h"
#include "descriptiondir.h"
#include "descriptionfile.h"
#include "descriptionscalar.h"
#include "hostilecorpus.h"
#include "keycatalog.h"
#include "logcapture.h"
#include "modelloader.h"
#include "velmordevicemodel.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <yaml-cpp/yaml.h>

#include <algorithm>

namespace {

const QString sourceDir = QStringLiteral(VELMOR_SOURCE_DIR);

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("Unable to read %s", qPrintable(path));
    return file.readAll();
}

QJsonObject schema()
{
    return QJsonDocument::fromJson(readFile(sourceDir + QStringLiteral("/schema/velmor-description.schema.json"))).object();
}

QJsonObject schemaDefinition(const QString &name)
{
    return schema().value(QStringLiteral("$defs")).toObject().value(name).toObject();
}

// The complete files of the format reference: its fenced yaml blocks.
QStringList referenceExamples()
{
    const QString reference = QString::fromUtf8(readFile(sourceDir + QStringLiteral("/docs/description-format.md")));
    static const QRegularExpression block(QStringLiteral("```yaml\\n(.*?)```"), QRegularExpression::DotMatchesEverythingOption);
    QStringList examples;
    for (auto it = block.globalMatch(reference); it.hasNext();)
        examples.append(it.next().captured(1));
    return examples;
}

QStringList shippedFiles()
{
    QStringList paths;
    const QDir tags(sourceDir + QStringLiteral("/tags"));
    for (const QString &name : tags.entryList({QStringLiteral("*.yml")}, QDir::Files))
        paths.append(tags.filePath(name));
    return paths;
}

QStringList fuzzSeeds()
{
    QStringList paths;
    for (const QString &folder : {QStringLiteral("/fuzz/corpus/fuzz_description"),
                                  QStringLiteral("/fuzz/regressions/fuzz_description")}) {
        const QDir dir(sourceDir + folder);
        for (const QString &name : dir.entryList(QDir::Files))
            paths.append(dir.filePath(name));
    }
    return paths;
}

bool hasError(const QVector<Diagnostic> &findings)
{
    return std::any_of(findings.begin(), findings.end(), [](const Diagnostic &finding) {
        return finding.severity == Diagnostic::Severity::Error;
    });
}

bool modelLoads(const QString &path)
{
    LogCapture quiet;
    return VelmorDeviceModel(path).valid();
}

// The validator's verdict on each file, by path; empty when it could not run.
QHash<QString, bool> schemaVerdicts(const QStringList &paths, QString *failure)
{
    QProcess validator;
    validator.start(QStringLiteral(VELMOR_PYTHON3), QStringList {sourceDir + QStringLiteral("/schema/validate-descriptions.py")} + paths);
    QHash<QString, bool> verdicts;
    if (!validator.waitForFinished(300000) || validator.exitCode() > 1) {
        *failure = QString::fromUtf8(validator.readAllStandardError()) + validator.errorString();
        return verdicts;
    }
    const QStringList lines = QString::fromUtf8(validator.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.endsWith(QLatin1String(": valid")))
            verdicts.insert(line.chopped(7), true);
        else if (line.endsWith(QLatin1String(": invalid")))
            verdicts.insert(line.chopped(9), false);
    }
    return verdicts;
}

bool matchesPattern(const QString &definition, const QString &text)
{
    const QRegularExpression pattern(schemaDefinition(definition).value(QStringLiteral("pattern")).toString());
    return pattern.match(text).hasMatch();
}

QStringList booleanWords(const QString &definition)
{
    QStringList words;
    for (const QJsonValue &choice : schemaDefinition(definition).value(QStringLiteral("anyOf")).toArray()) {
        for (const QJsonValue &word : choice.toObject().value(QStringLiteral("enum")).toArray())
            words.append(word.toString());
    }
    return words;
}

QStringList schemaKeys(const QJsonObject &object)
{
    QStringList keys = object.value(QStringLiteral("properties")).toObject().keys();
    keys.sort();
    return keys;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

} // namespace

// The device model, the checker and the JSON Schema read description files alike: a file
// the model refuses always gets an error of the checker, and one the model loads but the
// schema rejects at least a warning.
class TestDescriptionAgreement : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void corpus_data();
    void corpus();
    void shippedAndExampleFilesAreClean_data();
    void shippedAndExampleFilesAreClean();
    void referenceHasAnExampleForEachProtocol();
    void schemaKnowsTheCheckersKeys();
    void linkTuningRangesAreTheReadersTable();
    void framingValuesAreTheReaders();
    void integerPatternMatchesTheModel_data();
    void integerPatternMatchesTheModel();
    void floatPatternMatchesTheModel_data();
    void floatPatternMatchesTheModel();
    void booleanWordsAreTheModels();

private:
    // A named file: a row of a test.
    using NamedFile = QPair<QString, QString>;

    void addCorpusFile(const QString &name, const QByteArray &contents);

    DescriptionDir m_dir;
    QVector<NamedFile> m_corpus;
    QVector<NamedFile> m_clean;
    QHash<QString, bool> m_schemaValid;
};

void TestDescriptionAgreement::addCorpusFile(const QString &name, const QByteArray &contents)
{
    m_corpus.append({name, m_dir.write(QStringLiteral("corpus%1.yml").arg(m_corpus.size() + 1), contents)});
}

void TestDescriptionAgreement::initTestCase()
{
    for (const HostileFile &file : hostileCorpus())
        addCorpusFile(QStringLiteral("hostile: ") + QLatin1String(file.name), file.contents);
    for (const CheckerCase &checkerCase : checkerCases())
        addCorpusFile(QStringLiteral("checker: ") + QLatin1String(checkerCase.name), checkerCase.contents);
    addCorpusFile(QStringLiteral("boiler room"), ModelLoader::boilerRoom());
    for (const QString &path : fuzzSeeds())
        m_corpus.append({QStringLiteral("fuzz seed: ") + QFileInfo(path).fileName(), path});
    for (const QString &path : shippedFiles())
        m_clean.append({QStringLiteral("shipped: ") + QFileInfo(path).fileName(), path});
    const QStringList examples = referenceExamples();
    for (int n = 0; n < examples.size(); ++n)
        m_clean.append({QStringLiteral("reference example %1").arg(n + 1),
                        m_dir.write(QStringLiteral("example%1.yml").arg(n + 1), examples.at(n).toUtf8())});

    QStringList paths;
    for (const NamedFile &file : m_corpus + m_clean)
        paths.append(file.second);
    QString failure;
    m_schemaValid = schemaVerdicts(paths, &failure);
    QVERIFY2(!m_schemaValid.isEmpty(), qPrintable(QStringLiteral("the schema validator did not run: ") + failure));
}

void TestDescriptionAgreement::corpus_data()
{
    QTest::addColumn<QString>("path");
    for (const NamedFile &file : m_corpus)
        QTest::newRow(qPrintable(file.first)) << file.second;
}

void TestDescriptionAgreement::corpus()
{
    QFETCH(QString, path);

    QVERIFY(m_schemaValid.contains(path));
    const QVector<Diagnostic> findings = DescriptionChecker::checkFile(path);
    if (!modelLoads(path)) {
        QVERIFY2(hasError(findings), "the model refuses this file, but --check finds no error");
        return;
    }
    if (!m_schemaValid.value(path))
        QVERIFY2(!findings.isEmpty(), "the model loads this file and the schema rejects it, but --check finds nothing");
}

void TestDescriptionAgreement::shippedAndExampleFilesAreClean_data()
{
    QTest::addColumn<QString>("path");
    for (const NamedFile &file : m_clean)
        QTest::newRow(qPrintable(file.first)) << file.second;
}

void TestDescriptionAgreement::shippedAndExampleFilesAreClean()
{
    QFETCH(QString, path);

    QVERIFY(modelLoads(path));
    QCOMPARE(DescriptionChecker::checkFile(path).size(), 0);
    QVERIFY(m_schemaValid.value(path));
}

void TestDescriptionAgreement::referenceHasAnExampleForEachProtocol()
{
    const QString examples = referenceExamples().join(QLatin1Char('\n'));
    for (const QString &protocol : {QStringLiteral("ModBUS RTU"), QStringLiteral("ModBUS TCP"), QStringLiteral("VelmorBUS RTU")})
        QVERIFY2(examples.contains(QStringLiteral("protocol: ") + protocol), qPrintable(protocol));
}

void TestDescriptionAgreement::schemaKnowsTheCheckersKeys()
{
    const QJsonObject root = schema();
    const QJsonObject variable = root.value(QStringLiteral("$defs")).toObject().value(QStringLiteral("variable")).toObject();

    QCOMPARE(schemaKeys(root), sorted(KeyCatalog::keys(KeyCatalog::Level::TopLevel)));
    QCOMPARE(schemaKeys(variable), sorted(KeyCatalog::keys(KeyCatalog::Level::Variable)));
}

void TestDescriptionAgreement::linkTuningRangesAreTheReadersTable()
{
    for (const DescriptionFile::TuningKey &range : DescriptionFile::tuningKeys()) {
        const QJsonObject typed = schemaDefinition(QLatin1String(range.key)).value(QStringLiteral("anyOf")).toArray().first().toObject();
        QCOMPARE(typed.value(QStringLiteral("minimum")).toInt(-1), range.minimum);
        QCOMPARE(typed.value(QStringLiteral("maximum")).toInt(-1), range.maximum);
    }
}

void TestDescriptionAgreement::framingValuesAreTheReaders()
{
    QStringList parities;
    for (const QJsonValue &name : schemaDefinition(QStringLiteral("parity")).value(QStringLiteral("enum")).toArray())
        parities.append(name.toString());
    QStringList readersParities;
    for (const std::string &name : SerialFraming::parityNames())
        readersParities.append(QString::fromStdString(name));
    QCOMPARE(parities, readersParities);

    const auto typedRange = [](const char *key) {
        const QJsonObject typed = schemaDefinition(QLatin1String(key)).value(QStringLiteral("anyOf")).toArray().first().toObject();
        return qMakePair(typed.value(QStringLiteral("minimum")).toInt(-1), typed.value(QStringLiteral("maximum")).toInt(-1));
    };
    QCOMPARE(typedRange("databits"), qMakePair(int(SerialFraming::MinDataBits), int(SerialFraming::MaxDataBits)));
    QCOMPARE(typedRange("stopbits"), qMakePair(int(SerialFraming::MinStopBits), int(SerialFraming::MaxStopBits)));
}

void TestDescriptionAgreement::integerPatternMatchesTheModel_data()
{
    QTest::addColumn<QString>("text");
    for (const char *text : {"0", "7", "-7", "+7", "010", "0100", "08", "0x1F", "0X1f", "-0x10", "0x", "0x1g", "1e3",
                             "1.0", "1_000", "0b1", "0o17", "12abc", " 5", "5 ", "5\t", "", "+", "-", "--5",
                             "2147483647", "-2147483648", "0xFFFFFFFF", "1:30", "٣"})
        QTest::newRow(text) << QString::fromUtf8(text);
}

void TestDescriptionAgreement::integerPatternMatchesTheModel()
{
    QFETCH(QString, text);

    long long value = 0;
    QCOMPARE(matchesPattern(QStringLiteral("integerText"), text),
             DescriptionScalar::readLongLong(YAML::Node(text.toStdString()), &value));
}

void TestDescriptionAgreement::floatPatternMatchesTheModel_data()
{
    QTest::addColumn<QString>("text");
    for (const char *text : {"1", "-1", "1.5", ".5", "5.", "1e3", "1E+3", "-1.5e-3", "1e", ".", "-.inf", ".Inf",
                             "+.INF", ".nan", ".NaN", "nan", "inf", "0x10", "1,5", "1.5 ", " 1.5", "3.4e38", "abc",
                             ""})
        QTest::newRow(text) << QString::fromUtf8(text);
}

void TestDescriptionAgreement::floatPatternMatchesTheModel()
{
    QFETCH(QString, text);

    float value = 0;
    QCOMPARE(matchesPattern(QStringLiteral("floatText"), text),
             DescriptionScalar::readFloat(YAML::Node(text.toStdString()), &value));
}

void TestDescriptionAgreement::booleanWordsAreTheModels()
{
    const QStringList candidates = {"y", "Y", "yes", "Yes", "YES", "yES", "n", "N", "no", "No", "NO", "nO",
                                    "true", "True", "TRUE", "tRUE", "false", "False", "FALSE", "on", "On", "ON",
                                    "off", "Off", "OFF", "oFF", "1", "0", "enabled", ""};
    QStringList modelWords;
    for (const QString &candidate : candidates) {
        bool value = false;
        if (DescriptionScalar::readBool(YAML::Node(candidate.toStdString()), &value))
            modelWords.append(candidate);
    }
    QCOMPARE(sorted(booleanWords(QStringLiteral("flag"))), sorted(modelWords));
}

QTEST_GUILESS_MAIN(TestDescriptionAgreement)
#include "tst_descriptionagreement.moc"
