#include "descriptioncheck.h"
#include "mastercheck.h"
#include "packetcheck.h"
#include "restorecheck.h"
#include "silentmessages.h"
#include "simmodbuscheck.h"
#include "simvelmorbuscheck.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <memory>

namespace {

// Rows named after the file, as "corpus/<name>" or "regressions/<name>".
void addInputRows(const QString &target)
{
    QTest::addColumn<QByteArray>("input");
    for (const QString &kind : {QStringLiteral("corpus"), QStringLiteral("regressions")}) {
        const QDir dir(QStringLiteral(FUZZ_DIR "/%1/%2").arg(kind, target));
        for (const QFileInfo &entry : dir.entryInfoList(QDir::Files, QDir::Name)) {
            QFile file(entry.filePath());
            if (!file.open(QIODevice::ReadOnly))
                qFatal("cannot read %s", qPrintable(entry.filePath()));
            QTest::newRow(qPrintable(kind + QLatin1Char('/') + entry.fileName())) << file.readAll();
        }
    }
}

} // namespace

class TestFuzzRegressions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void packet_data();
    void packet();
    void master_data();
    void master();
    void description_data();
    void description();
    void restore_data();
    void restore();
    void simModbus_data();
    void simModbus();
    void simVelmorbus_data();
    void simVelmorbus();

private:
    std::unique_ptr<MasterCheck> m_master;
    std::unique_ptr<DescriptionCheck> m_description;
    std::unique_ptr<RestoreCheck> m_restore;
};

void TestFuzzRegressions::initTestCase()
{
    // The code under test logs on every refused input; the checks judge the results.
    silenceMessages();
    m_master = std::make_unique<MasterCheck>();
    m_description = std::make_unique<DescriptionCheck>();
    m_restore = std::make_unique<RestoreCheck>();
}

void TestFuzzRegressions::packet_data()
{
    addInputRows(QStringLiteral("fuzz_packet"));
}

void TestFuzzRegressions::packet()
{
    QFETCH(QByteArray, input);
    QCOMPARE(PacketCheck().run(input), QString());
}

void TestFuzzRegressions::master_data()
{
    addInputRows(QStringLiteral("fuzz_master"));
}

void TestFuzzRegressions::master()
{
    QFETCH(QByteArray, input);
    QCOMPARE(m_master->run(input), QString());
}

void TestFuzzRegressions::description_data()
{
    addInputRows(QStringLiteral("fuzz_description"));
}

void TestFuzzRegressions::description()
{
    QFETCH(QByteArray, input);
    QCOMPARE(m_description->run(input), QString());
}

void TestFuzzRegressions::restore_data()
{
    addInputRows(QStringLiteral("fuzz_restore"));
}

void TestFuzzRegressions::restore()
{
    QFETCH(QByteArray, input);
    QCOMPARE(m_restore->run(input), QString());
}

void TestFuzzRegressions::simModbus_data()
{
    addInputRows(QStringLiteral("fuzz_simmodbus"));
}

void TestFuzzRegressions::simModbus()
{
    QFETCH(QByteArray, input);
    QCOMPARE(SimModbusCheck().run(input), QString());
}

void TestFuzzRegressions::simVelmorbus_data()
{
    addInputRows(QStringLiteral("fuzz_simvelmorbus"));
}

void TestFuzzRegressions::simVelmorbus()
{
    QFETCH(QByteArray, input);
    QCOMPARE(SimVelmorbusCheck().run(input), QString());
}

QTEST_GUILESS_MAIN(TestFuzzRegressions)
#include "tst_fuzzregressions.moc"
