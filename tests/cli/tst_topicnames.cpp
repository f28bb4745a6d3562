#include "descriptiondir.h"
#include "topicnames.h"
#include "velmordevicemodel.h"

#include <QtTest>

// How the MQTT bridge names a device's variables as topic levels.
class TestTopicNames : public QObject
{
    Q_OBJECT

private slots:
    void levelReplacesWhatMqttGivesAMeaning_data();
    void levelReplacesWhatMqttGivesAMeaning();
    void levelsAreUniqueWithinADevice_data();
    void levelsAreUniqueWithinADevice();
};

void TestTopicNames::levelReplacesWhatMqttGivesAMeaning_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("level");
    QTest::newRow("plain") << QStringLiteral("T1") << QStringLiteral("T1");
    QTest::newRow("Cyrillic and blanks stay") << QStringLiteral("Давление 1") << QStringLiteral("Давление 1");
    QTest::newRow("level separator") << QStringLiteral("in/out") << QStringLiteral("in_out");
    QTest::newRow("wildcards") << QStringLiteral("a+b#c") << QStringLiteral("a_b_c");
    QTest::newRow("control characters") << QStringLiteral("a\tb\x7f" "c") + QChar(0x85) << QStringLiteral("a_b_c_");
    QTest::newRow("NUL") << QString(QChar(0)) + QStringLiteral("x") << QStringLiteral("_x");
    QTest::newRow("non-character") << QStringLiteral("x") + QChar(0xFFFF) << QStringLiteral("x_");
    QTest::newRow("non-character beyond the BMP") << QStringLiteral("x") + QString::fromUcs4(U"\U0001FFFE") + QStringLiteral("y")
                                                  << QStringLiteral("x_y");
    QTest::newRow("long name cut after 200 bytes") << QString(300, QLatin1Char('a')) << QString(200, QLatin1Char('a'));
    QTest::newRow("long name cut between characters") << QString(150, QChar(0x0416)) << QString(100, QChar(0x0416));
    QTest::newRow("empty") << QString() << QStringLiteral("_");
}

void TestTopicNames::levelReplacesWhatMqttGivesAMeaning()
{
    QFETCH(QString, name);
    QFETCH(QString, level);
    QCOMPARE(TopicNames::level(name), level);
}

void TestTopicNames::levelsAreUniqueWithinADevice_data()
{
    QTest::addColumn<QByteArray>("variables");
    QTest::addColumn<QStringList>("levels");
    QTest::newRow("distinct names") << QByteArray("[{name: A, addr: 1}, {name: B, addr: 2}]")
                                    << QStringList{QStringLiteral("A"), QStringLiteral("B")};
    QTest::newRow("one name twice") << QByteArray("[{name: A, addr: 1}, {name: A, addr: 2}, {name: B, addr: 3}]")
                                    << QStringList{QStringLiteral("A@1"), QStringLiteral("A@2"), QStringLiteral("B")};
    QTest::newRow("names that meet once replaced") << QByteArray("[{name: a/b, addr: 1}, {name: a+b, addr: 2}]")
                                                   << QStringList{QStringLiteral("a_b@1"), QStringLiteral("a_b@2")};
    QTest::newRow("status is the device's own") << QByteArray("[{name: status, addr: 7}]")
                                                << QStringList{QStringLiteral("status@7")};
    QTest::newRow("one name and address twice") << QByteArray("[{name: A, addr: 1}, {name: A, addr: 1}]")
                                                << QStringList{QStringLiteral("A@1.0"), QStringLiteral("A@1.1")};
    QTest::newRow("no name") << QByteArray("[{addr: 4}]") << QStringList{QStringLiteral("_0")};
    QTest::newRow("long names alike up to the cut")
        << "[{name: " + QByteArray(250, 'a') + "x, addr: 1}, {name: " + QByteArray(250, 'a') + "y, addr: 2}]"
        << QStringList{QString(200, QLatin1Char('a')) + QStringLiteral("@1"), QString(200, QLatin1Char('a')) + QStringLiteral("@2")};
    QTest::newRow("a name that meets a made one")
        << QByteArray("[{name: A, addr: 1}, {name: A, addr: 1}, {name: A@1.1, addr: 2}]")
        << QStringList{QStringLiteral("A@1.0"), QStringLiteral("A@1.1"), QStringLiteral("A@1.1.2")};
}

void TestTopicNames::levelsAreUniqueWithinADevice()
{
    QFETCH(QByteArray, variables);
    QFETCH(QStringList, levels);
    DescriptionDir dir;
    VelmorDeviceModel model(dir.write(QStringLiteral("device.yml"),
                                      "protocol: ModBUS TCP\nhost: 127.0.0.1\nport: 1\nvariables: " + variables + '\n'));
    QVERIFY(model.valid());
    const TopicNames names(&model);
    QStringList actual;
    for (int id = 0; id < model.varCount(); ++id) {
        actual.append(names.variableLevel(id));
        QCOMPARE(names.variableId(actual.constLast()), id);
    }
    QCOMPARE(actual, levels);
    QCOMPARE(names.variableId(QStringLiteral("missing")), -1);
}

QTEST_MAIN(TestTopicNames)
#include "tst_topicnames.moc"
