#include "registerformats.h"

#include <QtTest>

// Registers as the probe shows them, against values worked out by hand.
class TestRegisterFormats : public QObject
{
    Q_OBJECT

private slots:
    void ordersAreNamedAsTheDescriptionsNameThem();
    void single_data();
    void single();
    void pair_data();
    void pair();
};

void TestRegisterFormats::ordersAreNamedAsTheDescriptionsNameThem()
{
    QCOMPARE(RegisterFormats::orderNames(), QStringList({"ABCD", "CDAB", "BADC", "DCBA"}));
}

void TestRegisterFormats::single_data()
{
    QTest::addColumn<quint16>("word");
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("unsignedText");
    QTest::addColumn<QString>("signedText");
    QTest::addColumn<QString>("binary");

    QTest::newRow("zero") << quint16(0) << "0x0000" << "0" << "0" << "0000 0000 0000 0000";
    QTest::newRow("0x00FF") << quint16(0x00FF) << "0x00FF" << "255" << "255" << "0000 0000 1111 1111";
    QTest::newRow("0x8000 is the lowest int16")
        << quint16(0x8000) << "0x8000" << "32768" << "-32768" << "1000 0000 0000 0000";
    QTest::newRow("0xFFFF is -1") << quint16(0xFFFF) << "0xFFFF" << "65535" << "-1" << "1111 1111 1111 1111";
    QTest::newRow("0xF5C3") << quint16(0xF5C3) << "0xF5C3" << "62915" << "-2621" << "1111 0101 1100 0011";
}

void TestRegisterFormats::single()
{
    QFETCH(quint16, word);
    const RegisterFormats::Single formats = RegisterFormats::single(word);
    QTEST(formats.hex, "hex");
    QTEST(formats.unsignedText, "unsignedText");
    QTEST(formats.signedText, "signedText");
    QTEST(formats.binary, "binary");
}

void TestRegisterFormats::pair_data()
{
    QTest::addColumn<quint16>("first");
    QTest::addColumn<quint16>("second");
    // In the order ABCD, CDAB, BADC, DCBA.
    QTest::addColumn<QStringList>("int32");
    QTest::addColumn<QStringList>("uint32");
    QTest::addColumn<QStringList>("float32");

    QTest::newRow("float 3.14 written ABCD")
        << quint16(0x4048) << quint16(0xF5C3)
        << QStringList({"1078523331", "-171753400", "1212204021", "-1007335360"})
        << QStringList({"1078523331", "4123213896", "1212204021", "3287631936"})
        << QStringList({"3.14", "-4.950203e+32", "197391.8", "-490.5645"});
    QTest::newRow("int32 100000 written ABCD")
        << quint16(0x0001) << quint16(0x86A0)
        << QStringList({"100000", "-2036334591", "16818310", "-1601830656"})
        << QStringList({"100000", "2258632705", "16818310", "2693136640"})
        << QStringList({"1.401298e-40", "-6.018532e-35", "2.362506e-38", "-2.270114e-19"});
    QTest::newRow("quiet nan written ABCD")
        << quint16(0x7FC0) << quint16(0x0000)
        << QStringList({"2143289344", "32704", "-1065418752", "49279"})
        << QStringList({"2143289344", "32704", "3229548544", "49279"})
        << QStringList({"nan", "4.582806e-41", "-3.984375", "6.905459e-41"});
    QTest::newRow("minus infinity written DCBA")
        << quint16(0x0000) << quint16(0x80FF)
        << QStringList({"33023", "-2130771968", "65408", "-8388608"})
        << QStringList({"33023", "2164195328", "65408", "4286578688"})
        << QStringList({"4.627508e-41", "-2.341805e-38", "9.165613e-41", "-inf"});
    QTest::newRow("plus infinity written ABCD")
        << quint16(0x7F80) << quint16(0x0000)
        << QStringList({"2139095040", "32640", "-2139160576", "32895"})
        << QStringList({"2139095040", "32640", "2155806720", "32895"})
        << QStringList({"inf", "4.573838e-41", "-1.166311e-38", "4.609571e-41"});
}

void TestRegisterFormats::pair()
{
    QFETCH(quint16, first);
    QFETCH(quint16, second);
    const RegisterFormats::Pair formats = RegisterFormats::pair(first, second);
    QTEST(formats.int32, "int32");
    QTEST(formats.uint32, "uint32");
    QTEST(formats.float32, "float32");
}

QTEST_APPLESS_MAIN(TestRegisterFormats)

#include "tst_registerformats.moc"
