#include "checkercases.h"
#include "descriptionchecker.h"
#include "descriptiondir.h"

#include <QtTest>

namespace {

QStringList placed(const QVector<Diagnostic> &diagnostics)
{
    QStringList lines;
    for (const Diagnostic &diagnostic : diagnostics) {
        const QString severity = diagnostic.severity == Diagnostic::Severity::Error ? QStringLiteral("error")
                                                                                     : QStringLiteral("warning");
        lines.append(QStringLiteral("%1:%2: %3: %4").arg(diagnostic.line).arg(diagnostic.column).arg(severity, diagnostic.text));
    }
    return lines;
}

} // namespace

// Every finding of the description checker, each at its exact line and column.
class TestDescriptionChecker : public QObject
{
    Q_OBJECT

private slots:
    void findings_data();
    void findings();
    void crlfFileHasTheSamePlaces();
    void unreadableFiles_data();
    void unreadableFiles();

private:
    DescriptionDir m_dir;
};

void TestDescriptionChecker::findings_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QStringList>("expected");

    for (const CheckerCase &checkerCase : checkerCases())
        QTest::newRow(checkerCase.name) << checkerCase.contents << checkerCase.findings;
}

void TestDescriptionChecker::findings()
{
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, expected);

    QCOMPARE(placed(DescriptionChecker::checkText(contents)), expected);
}

void TestDescriptionChecker::crlfFileHasTheSamePlaces()
{
    const QByteArray lf = "protocol: ModBUS TCP\nid: 1\nvariables:\n  - {name: T1, adress: 1}\n";
    QByteArray crlf = lf;
    crlf.replace("\n", "\r\n");

    const QStringList found = placed(DescriptionChecker::checkFile(m_dir.write(QStringLiteral("crlf.yml"), crlf)));

    QCOMPARE(found, placed(DescriptionChecker::checkText(lf)));
    QCOMPARE(found.size(), 2);
}

void TestDescriptionChecker::unreadableFiles_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("expected");

    QTest::newRow("missing file") << QStringLiteral("absent.yml") << qint64(-1)
                                  << QStringLiteral("1:1: error: cannot open the file: No such file or directory");
    QTest::newRow("directory") << QString() << qint64(-1) << QStringLiteral("1:1: error: cannot open the file: ");
    QTest::newRow("one byte over 8 MiB") << QStringLiteral("large.yml") << qint64(8 * 1024 * 1024 + 1)
                                          << QStringLiteral("1:1: error: the file is larger than 8 MiB: the model refuses it");
}

void TestDescriptionChecker::unreadableFiles()
{
    QFETCH(QString, fileName);
    QFETCH(qint64, size);
    QFETCH(QString, expected);

    const QString path = m_dir.path() + QLatin1Char('/') + fileName;
    if (size >= 0) {
        // A valid description padded with a sparse comment: only its size can refuse it.
        QFile file(m_dir.write(fileName, "protocol: ModBUS TCP\nid: 1\nvariables: []\n# "));
        QVERIFY(file.resize(size));
    }
    const QStringList found = placed(DescriptionChecker::checkFile(path));

    QCOMPARE(found.size(), 1);
    QVERIFY2(found.first().startsWith(expected), qPrintable(found.first()));
}

QTEST_GUILESS_MAIN(TestDescriptionChecker)
#include "tst_descriptionchecker.moc"
