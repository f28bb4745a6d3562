#include "logcapture.h"
#include "logtexts.h"
#include "modelloader.h"
#include "velmordevicemodel.h"

#include <QtTest>

#include <limits>
#include <string>

namespace {
const QString valueKey = QStringLiteral("value");

// One variable of the given type line (empty for none) and optional starting value.
QByteArray oneVariable(const QByteArray &typeLine, const QByteArray &valueLine)
{
    QByteArray entry = "  - name: V\n    addr: 1\n";
    if (!typeLine.isEmpty())
        entry += "    " + typeLine + "\n";
    if (!valueLine.isEmpty())
        entry += "    " + valueLine + "\n";
    return ModelLoader::withVariables(entry);
}
}

class TestModelValues : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void varCountCountsEveryEntry();
    void attributeTexts_data();
    void attributeTexts();
    void valueReading_data();
    void valueReading();
    void numberOfTheValue_data();
    void numberOfTheValue();
    void floatNumberIsWhatItsTextShows_data();
    void floatNumberIsWhatItsTextShows();
    void heldTextForms_data();
    void heldTextForms();
    void valueRanges_data();
    void valueRanges();
    void refusedValueLeavesAbsentValue();
    void latestValueWins();
    void setValueTouchesOnlyItsEntry();
    void outOfRangeIds_data();
    void outOfRangeIds();
    void nonMappingEntriesHaveNoAttributes();
    void nonMappingEntryStoresOnlyWhenItSaysSo_data();
    void nonMappingEntryStoresOnlyWhenItSaysSo();
};

void TestModelValues::initTestCase()
{
    // Values are read with a point whatever the user's locale says.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void TestModelValues::varCountCountsEveryEntry()
{
    ModelLoader loader;
    const auto model = loader.load(ModelLoader::withVariables("  - {addr: 1}\n"
                                                              "  - 7\n"
                                                              "  - [a, b]\n"
                                                              "  -\n"
                                                              "  - {addr: 2}\n"));

    QVERIFY(model->valid());
    QCOMPARE(model->varCount(), 5);
}

void TestModelValues::attributeTexts_data()
{
    QTest::addColumn<QByteArray>("attributeLine");
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("addr hexadecimal as written") << QByteArray("addr: 0x10") << QStringLiteral("addr") << QVariant(QStringLiteral("0x10"));
    QTest::newRow("addr octal as written") << QByteArray("addr: 010") << QStringLiteral("addr") << QVariant(QStringLiteral("010"));
    QTest::newRow("addr quoted with zeros") << QByteArray("addr: '007'") << QStringLiteral("addr") << QVariant(QStringLiteral("007"));
    QTest::newRow("value with trailing zero") << QByteArray("value: 1.50") << QStringLiteral("value") << QVariant(QStringLiteral("1.50"));
    QTest::newRow("rw spelled yes") << QByteArray("rw: yes") << QStringLiteral("rw") << QVariant(QStringLiteral("yes"));
    QTest::newRow("UTF-8 name") << QByteArray("name: Температура") << QStringLiteral("name") << QVariant(QStringLiteral("Температура"));
    QTest::newRow("UTF-8 attribute name") << QByteArray("единица: °C") << QStringLiteral("единица") << QVariant(QStringLiteral("°C"));
    QTest::newRow("sequence gives empty text") << QByteArray("limits: [0, 100]") << QStringLiteral("limits") << QVariant(QString(""));
    QTest::newRow("mapping gives empty text") << QByteArray("limits: {min: 0}") << QStringLiteral("limits") << QVariant(QString(""));
    QTest::newRow("attribute without a value gives empty text") << QByteArray("desc:") << QStringLiteral("desc") << QVariant(QString(""));
    QTest::newRow("empty attribute name") << QByteArray("desc: Flow") << QString() << QVariant();
    QTest::newRow("attribute in another case") << QByteArray("desc: Flow") << QStringLiteral("Desc") << QVariant();
    QTest::newRow("absent attribute") << QByteArray("desc: Flow") << QStringLiteral("unit") << QVariant();
    QTest::newRow("absent value") << QByteArray("desc: Flow") << QStringLiteral("value") << QVariant();
}

void TestModelValues::attributeTexts()
{
    QFETCH(QByteArray, attributeLine);
    QFETCH(QString, attribute);
    QFETCH(QVariant, expected);

    ModelLoader loader;
    LogCapture log;
    const auto model = loader.load(ModelLoader::withVariables("  - type: int16\n    " + attributeLine + "\n"));
    QVERIFY(model->valid());

    const QVariant text = model->getVarAttr(0, attribute);
    QCOMPARE(text, expected);
    if (expected.isValid())
        QCOMPARE(text.userType(), int(QMetaType::QString));
    QCOMPARE(logTexts(log, QtWarningMsg), QStringList());
}

void TestModelValues::valueReading_data()
{
    QTest::addColumn<QByteArray>("typeLine");
    QTest::addColumn<QByteArray>("valueLine");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("int16 decimal") << QByteArray("type: int16") << QByteArray("value: 12") << QVariant(12);
    QTest::newRow("int16 negative") << QByteArray("type: int16") << QByteArray("value: -5") << QVariant(-5);
    QTest::newRow("int32 hexadecimal") << QByteArray("type: int32") << QByteArray("value: 0x10") << QVariant(16);
    QTest::newRow("int32 octal") << QByteArray("type: int32") << QByteArray("value: 010") << QVariant(8);
    QTest::newRow("no type") << QByteArray() << QByteArray("value: 7") << QVariant(7);
    QTest::newRow("unknown type") << QByteArray("type: uint8") << QByteArray("value: 3") << QVariant(3);
    QTest::newRow("float32 in another case reads an int") << QByteArray("type: Float32") << QByteArray("value: 2") << QVariant(2);
    QTest::newRow("float32 fraction") << QByteArray("type: float32") << QByteArray("value: 0.5") << QVariant(0.5f);
    QTest::newRow("float32 exponent") << QByteArray("type: float32") << QByteArray("value: 1e-05") << QVariant(1e-5f);
    QTest::newRow("float32 whole number") << QByteArray("type: float32") << QByteArray("value: 3") << QVariant(3.0f);
    QTest::newRow("int16 without value") << QByteArray("type: int16") << QByteArray() << QVariant();
    QTest::newRow("float32 without value") << QByteArray("type: float32") << QByteArray() << QVariant();
}

void TestModelValues::valueReading()
{
    QFETCH(QByteArray, typeLine);
    QFETCH(QByteArray, valueLine);
    QFETCH(QVariant, expected);

    ModelLoader loader;
    const auto model = loader.load(oneVariable(typeLine, valueLine));
    QVERIFY(model->valid());

    const QVariant value = model->getVarValue(0);
    QCOMPARE(value.userType(), expected.userType());
    QCOMPARE(value, expected);
}

void TestModelValues::numberOfTheValue_data()
{
    QTest::addColumn<QByteArray>("typeLine");
    QTest::addColumn<QByteArray>("valueLine");
    // Set as an edit when valid; the file's value stands otherwise.
    QTest::addColumn<QVariant>("edit");
    QTest::addColumn<double>("number");

    const QByteArray int16 = "type: int16";
    const QByteArray int32 = "type: int32";
    const QByteArray int32Bits = "type: int32\n    bitfield: true";
    const QByteArray float32 = "type: float32";
    const QVariant fromFile;

    QTest::newRow("negative int from the file") << int16 << QByteArray("value: -5") << fromFile << -5.0;
    QTest::newRow("int32 minimum") << int32 << QByteArray() << QVariant(std::numeric_limits<int>::min()) << -2147483648.0;
    QTest::newRow("bit field below the top bit") << int32Bits << QByteArray() << QVariant(5) << 5.0;
    QTest::newRow("bit field with the top bit set") << int32Bits << QByteArray() << QVariant(4294967295u) << 4294967295.0;
    QTest::newRow("float32 of a short decimal") << float32 << QByteArray() << QVariant(0.1) << 0.1;
    QTest::newRow("float32 with more digits than its text") << float32 << QByteArray() << QVariant(1234567.9) << 1234568.0;
    QTest::newRow("float32 tiny from the file") << float32 << QByteArray("value: 1e-07") << fromFile << 1e-7;
    QTest::newRow("float32 zero") << float32 << QByteArray("value: 0") << fromFile << 0.0;
    QTest::newRow("no value") << float32 << QByteArray() << fromFile << 0.0;
    QTest::newRow("int16 without value") << int16 << QByteArray() << fromFile << 0.0;
}

void TestModelValues::numberOfTheValue()
{
    QFETCH(QByteArray, typeLine);
    QFETCH(QByteArray, valueLine);
    QFETCH(QVariant, edit);
    QFETCH(double, number);

    ModelLoader loader;
    const auto model = loader.load(oneVariable(typeLine, valueLine));
    QVERIFY(model->valid());
    if (edit.isValid())
        QVERIFY(model->setVarValue(0, edit));

    QCOMPARE(model->varNumber(0), number);
}

void TestModelValues::floatNumberIsWhatItsTextShows_data()
{
    QTest::addColumn<float>("value");
    QTest::newRow("temperature") << 21.37f;
    QTest::newRow("negative") << -273.15f;
    QTest::newRow("tiny") << 1.5e-5f;
    QTest::newRow("large") << 3.0e12f;
    QTest::newRow("third") << 1.0f / 3.0f;
    QTest::newRow("largest float32") << std::numeric_limits<float>::max();
}

// The number equals what reading the shown text gives, to the last bit.
void TestModelValues::floatNumberIsWhatItsTextShows()
{
    QFETCH(float, value);

    ModelLoader loader;
    const auto model = loader.load(oneVariable("type: float32", QByteArray()));
    QVERIFY(model->setVarValue(0, double(value)));

    const std::string text = model->getVarAttr(0, valueKey).toString().toStdString();
    QCOMPARE(model->varNumber(0), std::stod(text));
}

void TestModelValues::heldTextForms_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("held");

    // Every entry starts with the value 5, so a refusal shows as an unchanged 5.
    const QByteArray int16("int16");
    const QByteArray int32("int32");
    const QByteArray float32("float32");
    const QString unchanged = QStringLiteral("5");

    QTest::newRow("int16 text 12") << int16 << QVariant(QStringLiteral("12")) << true << QStringLiteral("12");
    QTest::newRow("int16 text -7") << int16 << QVariant(QStringLiteral("-7")) << true << QStringLiteral("-7");
    QTest::newRow("int16 text with blanks") << int16 << QVariant(QStringLiteral(" 12 ")) << true << QStringLiteral("12");
    QTest::newRow("int16 int 70000 is refused, not cut") << int16 << QVariant(70000) << false << unchanged;
    QTest::newRow("int16 text abc") << int16 << QVariant(QStringLiteral("abc")) << false << unchanged;
    QTest::newRow("int16 empty text") << int16 << QVariant(QString("")) << false << unchanged;
    QTest::newRow("int16 hexadecimal text") << int16 << QVariant(QStringLiteral("0x10")) << false << unchanged;
    QTest::newRow("int16 text with fraction") << int16 << QVariant(QStringLiteral("12.5")) << false << unchanged;
    QTest::newRow("int16 invalid variant") << int16 << QVariant() << false << unchanged;
    QTest::newRow("int32 unsigned 4294967295") << int32 << QVariant(4294967295u) << false << unchanged;
    QTest::newRow("int32 unsigned 2147483647") << int32 << QVariant(2147483647u) << true << QStringLiteral("2147483647");
    QTest::newRow("int32 int minimum") << int32 << QVariant(std::numeric_limits<int>::min()) << true << QStringLiteral("-2147483648");
    QTest::newRow("int32 double 12.7 is no whole number") << int32 << QVariant(12.7) << false << unchanged;
    QTest::newRow("int32 double 12.0") << int32 << QVariant(12.0) << true << QStringLiteral("12");
    QTest::newRow("int32 zero") << int32 << QVariant(0) << true << QStringLiteral("0");
    QTest::newRow("no type int 42") << QByteArray() << QVariant(42) << true << QStringLiteral("42");
    QTest::newRow("unknown type int 300") << QByteArray("uint8") << QVariant(300) << true << QStringLiteral("300");
    QTest::newRow("Float32 in another case is an int") << QByteArray("Float32") << QVariant(QStringLiteral("1.5")) << false << unchanged;
    QTest::newRow("float32 0.1") << float32 << QVariant(0.1) << true << QStringLiteral("0.1");
    QTest::newRow("float32 3.14159265") << float32 << QVariant(3.14159265) << true << QStringLiteral("3.141593");
    QTest::newRow("float32 1234567.0") << float32 << QVariant(1234567.0) << true << QStringLiteral("1234567");
    QTest::newRow("float32 9999999.0") << float32 << QVariant(9999999.0) << true << QStringLiteral("9999999");
    QTest::newRow("float32 12345678.0") << float32 << QVariant(12345678.0) << true << QStringLiteral("1.234568e+07");
    QTest::newRow("float32 1e7") << float32 << QVariant(1e7) << true << QStringLiteral("1e+07");
    QTest::newRow("float32 123456.78") << float32 << QVariant(123456.78) << true << QStringLiteral("123456.8");
    QTest::newRow("float32 0.25") << float32 << QVariant(0.25) << true << QStringLiteral("0.25");
    QTest::newRow("float32 0.0001") << float32 << QVariant(0.0001) << true << QStringLiteral("0.0001");
    QTest::newRow("float32 0.000123456789") << float32 << QVariant(0.000123456789) << true << QStringLiteral("0.0001234568");
    QTest::newRow("float32 1e-5") << float32 << QVariant(1e-5) << true << QStringLiteral("1e-05");
    QTest::newRow("float32 int 7") << float32 << QVariant(7) << true << QStringLiteral("7");
    QTest::newRow("float32 text 0.5") << float32 << QVariant(QStringLiteral("0.5")) << true << QStringLiteral("0.5");
    QTest::newRow("float32 text -2.5") << float32 << QVariant(QStringLiteral("-2.5")) << true << QStringLiteral("-2.5");
    QTest::newRow("float32 text 1e3") << float32 << QVariant(QStringLiteral("1e3")) << true << QStringLiteral("1000");
    QTest::newRow("float32 text with decimal comma") << float32 << QVariant(QStringLiteral("61,5")) << true << QStringLiteral("61.5");
    QTest::newRow("float32 text abc") << float32 << QVariant(QStringLiteral("abc")) << false << unchanged;
    QTest::newRow("float32 invalid variant") << float32 << QVariant() << false << unchanged;
}

void TestModelValues::heldTextForms()
{
    QFETCH(QByteArray, type);
    QFETCH(QVariant, input);
    QFETCH(bool, accepted);
    QFETCH(QString, held);

    ModelLoader loader;
    const auto model = loader.load(oneVariable(type.isEmpty() ? QByteArray() : "type: " + type, "value: 5"));
    QVERIFY(model->valid());

    QCOMPARE(model->setVarValue(0, input), accepted);
    QCOMPARE(model->getVarAttr(0, valueKey), QVariant(held));
    const int numberType = type == "float32" ? QMetaType::Float : QMetaType::Int;
    QCOMPARE(model->getVarValue(0).userType(), numberType);
}

void TestModelValues::valueRanges_data()
{
    QTest::addColumn<QByteArray>("typeLine");
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<int>("check");

    const int accepted = VelmorDeviceModel::ValueAccepted;
    const int outOfRange = VelmorDeviceModel::ValueOutOfRange;
    const int notANumber = VelmorDeviceModel::ValueNotANumber;
    const QByteArray int16 = "type: int16";
    const QByteArray int16Bits = "type: int16\n    bitfield: true";
    const QByteArray int32 = "type: int32";
    const QByteArray int32Bits = "type: int32\n    bitfield: yes";
    const QByteArray float32 = "type: float32";

    QTest::newRow("int16 -32768") << int16 << QVariant(QStringLiteral("-32768")) << accepted;
    QTest::newRow("int16 32767") << int16 << QVariant(QStringLiteral("32767")) << accepted;
    QTest::newRow("int16 -32769") << int16 << QVariant(QStringLiteral("-32769")) << outOfRange;
    QTest::newRow("int16 32768") << int16 << QVariant(QStringLiteral("32768")) << outOfRange;
    QTest::newRow("int16 bit field 65535") << int16Bits << QVariant(QStringLiteral("65535")) << accepted;
    QTest::newRow("int16 bit field 65536") << int16Bits << QVariant(QStringLiteral("65536")) << outOfRange;
    QTest::newRow("int16 bit field -1") << int16Bits << QVariant(QStringLiteral("-1")) << outOfRange;
    QTest::newRow("int32 -2147483648") << int32 << QVariant(QStringLiteral("-2147483648")) << accepted;
    QTest::newRow("int32 2147483648") << int32 << QVariant(QStringLiteral("2147483648")) << outOfRange;
    QTest::newRow("int32 bit field 4294967295") << int32Bits << QVariant(4294967295u) << accepted;
    QTest::newRow("int32 bit field 4294967296") << int32Bits << QVariant(QStringLiteral("4294967296")) << outOfRange;
    QTest::newRow("int32 bit field -1") << int32Bits << QVariant(-1) << outOfRange;
    QTest::newRow("no type 2147483648") << QByteArray() << QVariant(QStringLiteral("2147483648")) << outOfRange;
    QTest::newRow("int32 decimal comma") << int32 << QVariant(QStringLiteral("61,5")) << notANumber;
    QTest::newRow("float32 3.4e38") << float32 << QVariant(QStringLiteral("3.4e38")) << accepted;
    QTest::newRow("float32 3.5e38") << float32 << QVariant(QStringLiteral("3.5e38")) << outOfRange;
    QTest::newRow("float32 -3.5e38") << float32 << QVariant(-3.5e38) << outOfRange;
    QTest::newRow("float32 infinity") << float32 << QVariant(std::numeric_limits<double>::infinity()) << outOfRange;
    QTest::newRow("float32 text inf") << float32 << QVariant(QStringLiteral("inf")) << outOfRange;
    QTest::newRow("float32 nan") << float32 << QVariant(std::numeric_limits<double>::quiet_NaN()) << notANumber;
    QTest::newRow("float32 text nan") << float32 << QVariant(QStringLiteral("nan")) << notANumber;
    QTest::newRow("float32 two commas") << float32 << QVariant(QStringLiteral("1,5,2")) << notANumber;
}

void TestModelValues::valueRanges()
{
    QFETCH(QByteArray, typeLine);
    QFETCH(QVariant, input);
    QFETCH(int, check);

    ModelLoader loader;
    const auto model = loader.load(oneVariable(typeLine, "value: 5"));
    QVERIFY(model->valid());

    QCOMPARE(int(model->checkVarValue(0, input)), check);
    QCOMPARE(model->setVarValue(0, input), check == VelmorDeviceModel::ValueAccepted);
    if (check != VelmorDeviceModel::ValueAccepted)
        QCOMPARE(model->getVarAttr(0, valueKey), QVariant(QStringLiteral("5")));
}

void TestModelValues::refusedValueLeavesAbsentValue()
{
    ModelLoader loader;
    const auto model = loader.load(oneVariable("type: int16", QByteArray()));
    QVERIFY(model->valid());

    QCOMPARE(model->setVarValue(0, QStringLiteral("abc")), false);
    QCOMPARE(model->getVarAttr(0, valueKey), QVariant());
    QCOMPARE(model->getVarValue(0), QVariant());
}

void TestModelValues::latestValueWins()
{
    ModelLoader loader;
    const auto model = loader.load(oneVariable("type: int16", "value: 0x10"));
    QVERIFY(model->valid());
    QCOMPARE(model->getVarValue(0), QVariant(16));

    QVERIFY(model->setVarValue(0, QStringLiteral("12")));
    QCOMPARE(model->getVarAttr(0, valueKey), QVariant(QStringLiteral("12")));
    QCOMPARE(model->getVarValue(0), QVariant(12));
    QVERIFY(model->setVarValue(0, 13));
    QCOMPARE(model->getVarAttr(0, valueKey), QVariant(QStringLiteral("13")));
    QCOMPARE(model->getVarValue(0), QVariant(13));
}

void TestModelValues::setValueTouchesOnlyItsEntry()
{
    ModelLoader loader;
    const auto model = loader.load(ModelLoader::boilerRoom());
    QVERIFY(model->valid());

    QVERIFY(model->setVarValue(1, 3));
    QCOMPARE(model->getVarAttr(0, valueKey), QVariant());
    QCOMPARE(model->getVarAttr(1, valueKey), QVariant(QStringLiteral("3")));
    QCOMPARE(model->getVarAttr(2, valueKey), QVariant());
    QCOMPARE(model->getVarAttr(1, QStringLiteral("name")), QVariant(QStringLiteral("Mode")));
    QCOMPARE(model->varCount(), 3);
}

void TestModelValues::outOfRangeIds_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<uint>("id");

    QTest::newRow("three variables, id 3") << ModelLoader::boilerRoom() << 3u;
    QTest::newRow("three variables, id 4") << ModelLoader::boilerRoom() << 4u;
    QTest::newRow("three variables, largest id") << ModelLoader::boilerRoom() << std::numeric_limits<uint>::max();
    QTest::newRow("no variables, id 0") << ModelLoader::withVariables("  []\n") << 0u;
    QTest::newRow("refused file, id 0") << QByteArray("protocol: [\n") << 0u;
    QTest::newRow("top level scalar, id 0") << QByteArray("just text\n") << 0u;
    QTest::newRow("no variables block, id 0") << QByteArray("protocol: ModBUS RTU\n") << 0u;
}

void TestModelValues::outOfRangeIds()
{
    QFETCH(QByteArray, contents);
    QFETCH(uint, id);

    ModelLoader loader;
    const auto model = loader.load(contents);
    const int countBefore = model->varCount();

    QCOMPARE(model->getVarAttr(id, QStringLiteral("name")), QVariant());
    QCOMPARE(model->getVarAttr(id, valueKey), QVariant());
    QCOMPARE(model->getVarValue(id), QVariant());
    QCOMPARE(model->setVarValue(id, 1), false);
    QCOMPARE(model->getVarValue(id), QVariant());
    QCOMPARE(model->varCount(), countBefore);
}

void TestModelValues::nonMappingEntriesHaveNoAttributes()
{
    ModelLoader loader;
    const auto model = loader.load(ModelLoader::withVariables("  - 7\n"
                                                              "  - [name, addr]\n"
                                                              "  - name\n"
                                                              "  - {name: T1, addr: 1, value: 4}\n"));
    QVERIFY(model->valid());

    for (uint id = 0; id < 3; ++id) {
        QCOMPARE(model->getVarAttr(id, QStringLiteral("name")), QVariant());
        QCOMPARE(model->getVarAttr(id, QStringLiteral("addr")), QVariant());
        QCOMPARE(model->getVarAttr(id, valueKey), QVariant());
        QCOMPARE(model->getVarValue(id), QVariant());
    }
    QCOMPARE(model->getVarAttr(3, QStringLiteral("name")), QVariant(QStringLiteral("T1")));
    QCOMPARE(model->getVarValue(3), QVariant(4));
}

void TestModelValues::nonMappingEntryStoresOnlyWhenItSaysSo_data()
{
    QTest::addColumn<QByteArray>("entry");

    QTest::newRow("scalar entry") << QByteArray("  - 7\n");
    QTest::newRow("sequence entry") << QByteArray("  - [1, 2]\n");
    QTest::newRow("empty entry") << QByteArray("  -\n");
}

void TestModelValues::nonMappingEntryStoresOnlyWhenItSaysSo()
{
    QFETCH(QByteArray, entry);

    ModelLoader loader;
    const auto model = loader.load(ModelLoader::withVariables(entry + "  - {name: T1, addr: 1, value: 4}\n"));
    QVERIFY(model->valid());

    const bool stored = model->setVarValue(0, 9);
    QCOMPARE(model->getVarAttr(0, valueKey).isValid(), stored);
    QCOMPARE(model->varCount(), 2);
    QCOMPARE(model->getVarAttr(1, valueKey), QVariant(QStringLiteral("4")));
}

QTEST_GUILESS_MAIN(TestModelValues)
#include "tst_modelvalues.moc"
