#include "descriptiondir.h"

#include <QProcess>
#include <QtTest>

namespace {

const QByteArray cleanFile = "protocol: ModBUS TCP\nid: 1\nvariables:\n  - {name: T1, addr: 1, type: int16}\n";
const QByteArray warningFile = "protocol: ModBUS TCP\nid: 1\nvariables:\n  - {name: T1, adress: 1, addr: 2}\n";
const QByteArray errorFile = "protocol: ModBUS TCP\nid: 1\nvariables:\n  - {name: T1, addr: 12abc, rw: maybe}\n";

const QString misspeltAddr = QStringLiteral(":4:16: warning: unknown key \"adress\": did you mean \"addr\"?");
const QString badAddr = QStringLiteral(":4:22: error: \"addr\" is \"12abc\", not an integer: the model cannot poll "
                                       "this variable");
const QString badRw = QStringLiteral(":4:33: error: \"rw\" is \"maybe\", not a boolean: write true or false");

struct Run
{
    int exitCode = -1;
    QStringList lines;
    QString errors;
};

// Runs the program to its end; an exit code of -1 when it did not end in time.
Run runProgram(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    Run run;
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.lines = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    run.errors = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace

// velmor-cli --check and velmor-sim --check: one shared checker, the same lines and exit codes.
class TestCheckPrograms : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void oneFile_data();
    void oneFile();
    void severalFilesWithTheCliGiveTheWorstOutcome();
    void cliCheckTakesOnlyFiles_data();
    void cliCheckTakesOnlyFiles();

private:
    DescriptionDir m_dir;
    QString m_clean;
    QString m_warning;
    QString m_error;
};

void TestCheckPrograms::initTestCase()
{
    m_clean = m_dir.write(QStringLiteral("clean.yml"), cleanFile);
    m_warning = m_dir.write(QStringLiteral("warning.yml"), warningFile);
    m_error = m_dir.write(QStringLiteral("error.yml"), errorFile);
}

void TestCheckPrograms::oneFile_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("suffixes");

    const QStringList programs = {QStringLiteral(VELMOR_CLI_PATH), QStringLiteral(VELMOR_SIM_PATH)};
    for (const QString &program : programs) {
        const QByteArray name = QFileInfo(program).fileName().toUtf8();
        QTest::newRow(name + " clean file") << program << QStringLiteral("clean.yml") << 0 << QStringList();
        QTest::newRow(name + " warnings only") << program << QStringLiteral("warning.yml") << 1 << QStringList {misspeltAddr};
        QTest::newRow(name + " errors") << program << QStringLiteral("error.yml") << 2 << QStringList {badAddr, badRw};
    }
}

void TestCheckPrograms::oneFile()
{
    QFETCH(QString, program);
    QFETCH(QString, file);
    QFETCH(int, exitCode);
    QFETCH(QStringList, suffixes);

    const QString path = m_dir.path() + QLatin1Char('/') + file;
    const Run run = runProgram(program, {QStringLiteral("--check"), path});

    QCOMPARE(run.exitCode, exitCode);
    QStringList expected;
    for (const QString &suffix : suffixes)
        expected.append(path + suffix);
    QCOMPARE(run.lines, expected);
    QCOMPARE(run.errors, QString());
}

void TestCheckPrograms::severalFilesWithTheCliGiveTheWorstOutcome()
{
    const Run run = runProgram(QStringLiteral(VELMOR_CLI_PATH), {QStringLiteral("--check"), m_error, m_clean, m_warning});

    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.lines, QStringList({m_error + badAddr, m_error + badRw, m_warning + misspeltAddr}));
}

void TestCheckPrograms::cliCheckTakesOnlyFiles_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    QTest::newRow("no file") << QStringList {QStringLiteral("--check")}
                             << QStringLiteral("velmor-cli: no description file given (see --help)\n");
    QTest::newRow("a poll option") << QStringList {QStringLiteral("--check"), QStringLiteral("--id"), QStringLiteral("3"),
                                                   QStringLiteral("clean.yml")}
                                   << QStringLiteral("velmor-cli: --check takes only description files\n");
}

void TestCheckPrograms::cliCheckTakesOnlyFiles()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);

    const Run run = runProgram(QStringLiteral(VELMOR_CLI_PATH), arguments);

    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.errors, message);
}

QTEST_GUILESS_MAIN(TestCheckPrograms)
#include "tst_checkprograms.moc"
