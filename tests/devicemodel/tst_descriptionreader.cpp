#include "descriptionfile.h"
#include "descriptionscalar.h"
#include "velmordevicemodel.h"

#include <QtTest>

namespace {

// "LINE:COLUMN" of a place, 1-based as the checker reports it.
QString placeText(const YAML::Mark &mark)
{
    return QStringLiteral("%1:%2").arg(mark.line + 1).arg(mark.column + 1);
}

QString stateText(bool present, bool read)
{
    if (!present)
        return QStringLiteral("absent");
    return read ? QStringLiteral("read") : QStringLiteral("unreadable");
}

// yaml-cpp's own conversion, or nothing when it cannot read the text.
template <typename Number>
QVariant yamlCppNumber(const QByteArray &text)
{
    try {
        return QVariant::fromValue(YAML::Node(text.toStdString()).as<Number>());
    } catch (const YAML::Exception &) {
        return QVariant();
    }
}

template <typename Value>
QString fieldText(const KeyField<Value> &field)
{
    return stateText(field.isPresent(), field.isRead()) + (field.isPresent() ? QLatin1Char(' ') + placeText(field.place) : QString());
}

VariableDefinition onlySpec(const QByteArray &variable)
{
    DescriptionFile file;
    const QByteArray text = "protocol: ModBUS TCP\nvariables:\n  - " + variable + "\n";
    if (file.parse(text.toStdString()) != DescriptionFile::Outcome::Loaded || file.variableDefinitions().size() != 1)
        return {};
    return file.variableDefinitions().front();
}

} // namespace

// The one reading of a description file that the model runs on and the checker reports from.
class TestDescriptionReader : public QObject
{
    Q_OBJECT

private slots:
    void protocols_data();
    void protocols();
    void outcomes_data();
    void outcomes();
    void syntaxErrorHasItsPlace();
    void integersAreYamlCppIntegers_data();
    void integersAreYamlCppIntegers();
    void variableFields_data();
    void variableFields();
    void flagsAndAddress_data();
    void flagsAndAddress();
    void linkNeedsAReadableDescription_data();
    void linkNeedsAReadableDescription();
};

void TestDescriptionReader::protocols_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("supported");
    QTest::addColumn<bool>("serial");
    QTest::addColumn<bool>("readsBlocks");
    QTest::addColumn<bool>("storesConfiguration");

    QTest::newRow("velmorbus rtu") << "VelmorBUS RTU" << int(VelmorDeviceModel::VelmorbusRtu) << true << true << false << true;
    QTest::newRow("velmorbus tcp") << "VelmorBUS TCP" << int(VelmorDeviceModel::VelmorbusTcp) << false << false << false << true;
    QTest::newRow("modbus rtu") << "ModBUS RTU" << int(VelmorDeviceModel::ModbusRtu) << true << true << true << false;
    QTest::newRow("modbus tcp") << "ModBUS TCP" << int(VelmorDeviceModel::ModbusTcp) << true << false << true << false;
}

void TestDescriptionReader::protocols()
{
    QFETCH(QString, name);
    QFETCH(int, code);
    QFETCH(bool, supported);
    QFETCH(bool, serial);
    QFETCH(bool, readsBlocks);
    QFETCH(bool, storesConfiguration);

    const ProtocolTraits *traits = ProtocolTraits::named(name.toStdString());
    QVERIFY(traits);
    QCOMPARE(traits->code, code);
    QCOMPARE(traits->supported, supported);
    QCOMPARE(traits->isSerial(), serial);
    QCOMPARE(traits->readsBlocks, readsBlocks);
    QCOMPARE(traits->storesConfiguration, storesConfiguration);
    QVERIFY(!ProtocolTraits::named(name.toLower().toStdString()));
}

void TestDescriptionReader::outcomes_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("protocol");

    using O = DescriptionFile::Outcome;
    QTest::newRow("empty file") << QByteArray() << int(O::NoProtocol) << -1;
    QTest::newRow("top level a sequence") << QByteArray("- protocol: ModBUS TCP\n") << int(O::NoProtocol) << -1;
    QTest::newRow("syntax error") << QByteArray("protocol: [ModBUS TCP\n") << int(O::CannotParse) << -1;
    QTest::newRow("protocol in lower case") << QByteArray("protocol: modbus tcp\n") << int(O::UnknownProtocol) << -1;
    QTest::newRow("protocol a mapping") << QByteArray("protocol: {a: 1}\n") << int(O::UnknownProtocol) << -1;
    QTest::newRow("refused protocol") << QByteArray("protocol: VelmorBUS TCP\n") << int(O::Loaded) << 1;
    QTest::newRow("no variables") << QByteArray("protocol: ModBUS RTU\n") << int(O::Loaded) << 2;
}

void TestDescriptionReader::outcomes()
{
    QFETCH(QByteArray, text);
    QFETCH(int, outcome);
    QFETCH(int, protocol);

    DescriptionFile file;
    QCOMPARE(int(file.parse(text.toStdString())), outcome);
    QCOMPARE(file.protocol(), protocol);
    QVERIFY(file.variableDefinitions().empty());
}

void TestDescriptionReader::syntaxErrorHasItsPlace()
{
    DescriptionFile file;
    QCOMPARE(file.parse("protocol: ModBUS TCP\nvariables: [a\n"), DescriptionFile::Outcome::CannotParse);
    QVERIFY(file.parseFailure().syntax);
    QVERIFY(!file.parseFailure().message.isEmpty());
    QCOMPARE(file.parseFailure().place.line, 2);
}

void TestDescriptionReader::integersAreYamlCppIntegers_data()
{
    QTest::addColumn<QByteArray>("text");

    for (const char *text : {"0", "7", "-7", "+7", "010", "08", "0x1F", "123456789", "999999999", "1234567890",
                             "2147483647", "2147483648", "-2147483648", "4294967296", "12abc", "1.0", " 5", "5 ",
                             "", "٣"})
        QTest::newRow(text) << QByteArray(text);
}

void TestDescriptionReader::integersAreYamlCppIntegers()
{
    QFETCH(QByteArray, text);

    const YAML::Node node(text.toStdString());
    int number = 0;
    long long wide = 0;
    QCOMPARE(DescriptionScalar::readInt(node, &number) ? QVariant(number) : QVariant(), yamlCppNumber<int>(text));
    QCOMPARE(DescriptionScalar::readLongLong(node, &wide) ? QVariant(wide) : QVariant(), yamlCppNumber<long long>(text));
}

void TestDescriptionReader::variableFields_data()
{
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("typeField");

    using T = RegisterLayout::Type;
    QTest::newRow("all texts") << QByteArray("{name: T1, desc: Supply, type: int16}") << "T1" << "Supply"
                               << int(T::Int16) << "read 3:36";
    QTest::newRow("no type") << QByteArray("{name: T1}") << "T1" << "" << int(T::Untyped) << "absent";
    QTest::newRow("unknown type") << QByteArray("{type: Int16}") << "" << "" << int(T::Unknown) << "read 3:12";
    QTest::newRow("empty type placed at its key") << QByteArray("{type: }") << "" << "" << int(T::Unknown) << "read 3:6";
    QTest::newRow("name a number") << QByteArray("{name: 12}") << "12" << "" << int(T::Untyped) << "absent";
    QTest::newRow("name a sequence") << QByteArray("{name: [a]}") << "" << "" << int(T::Untyped) << "absent";
    QTest::newRow("first of a repeated key") << QByteArray("{type: float32, type: int16}") << "" << ""
                                             << int(T::Float32) << "read 3:12";
}

void TestDescriptionReader::variableFields()
{
    QFETCH(QByteArray, variable);
    QFETCH(QString, name);
    QFETCH(QString, description);
    QFETCH(int, type);
    QFETCH(QString, typeField);

    const VariableDefinition definition = onlySpec(variable);
    QVERIFY(definition.isMapping);
    QCOMPARE(QString::fromStdString(definition.name.value), name);
    QCOMPARE(QString::fromStdString(definition.description.value), description);
    QCOMPARE(int(definition.type.valueOr(RegisterLayout::Type::Untyped)), type);
    QCOMPARE(fieldText(definition.type), typeField);
}

void TestDescriptionReader::flagsAndAddress_data()
{
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");

    QTest::newRow("hexadecimal addr") << QByteArray("{addr: 0x10}") << "addr" << "read 3:12 16";
    QTest::newRow("octal addr") << QByteArray("{addr: 010}") << "addr" << "read 3:12 8";
    QTest::newRow("quoted addr") << QByteArray("{addr: \"12\"}") << "addr" << "read 3:12 12";
    QTest::newRow("addr with a fraction") << QByteArray("{addr: 1.0}") << "addr" << "unreadable 3:12 0";
    QTest::newRow("addr beyond 32 bits") << QByteArray("{addr: 0x100000000}") << "addr" << "unreadable 3:12 0";
    QTest::newRow("addr empty") << QByteArray("{addr: }") << "addr" << "unreadable 3:6 0";
    QTest::newRow("addr absent") << QByteArray("{name: T1}") << "addr" << "absent 0";
    QTest::newRow("rw yes") << QByteArray("{rw: yes}") << "rw" << "read 3:10 1";
    QTest::newRow("rw Off") << QByteArray("{rw: Off}") << "rw" << "read 3:10 0";
    QTest::newRow("rw in mixed case") << QByteArray("{rw: tRUE}") << "rw" << "unreadable 3:10 0";
    QTest::newRow("input a digit") << QByteArray("{input: 1}") << "input" << "unreadable 3:13 0";
    QTest::newRow("bitfield quoted") << QByteArray("{bitfield: \"true\"}") << "bitfield" << "read 3:16 1";
    QTest::newRow("bitfield on a later line") << QByteArray("name: T1\n    bitfield: on") << "bitfield" << "read 4:15 1";
    QTest::newRow("wordorder known") << QByteArray("{wordorder: CDAB}") << "wordorder" << "read 3:17 1";
    QTest::newRow("wordorder in lower case") << QByteArray("{wordorder: cdab}") << "wordorder" << "unreadable 3:17 0";
}

void TestDescriptionReader::flagsAndAddress()
{
    QFETCH(QByteArray, variable);
    QFETCH(QString, field);
    QFETCH(QString, expected);

    const VariableDefinition definition = onlySpec(variable);
    const QHash<QString, QString> fields = {
        {QStringLiteral("addr"), fieldText(definition.address) + QLatin1Char(' ') + QString::number(definition.address.valueOr(0))},
        {QStringLiteral("rw"), fieldText(definition.rw) + QLatin1Char(' ') + QString::number(definition.rw.valueOr(false))},
        {QStringLiteral("input"), fieldText(definition.input) + QLatin1Char(' ') + QString::number(definition.input.valueOr(false))},
        {QStringLiteral("bitfield"),
         fieldText(definition.bitfield) + QLatin1Char(' ') + QString::number(definition.bitfield.valueOr(false))},
        {QStringLiteral("wordorder"),
         fieldText(definition.wordOrder) + QLatin1Char(' ') + QString::number(int(definition.wordOrder.valueOr(RegisterLayout::WordOrder::ABCD)))},
    };
    QCOMPARE(fields.value(field), expected);
}

void TestDescriptionReader::linkNeedsAReadableDescription_data()
{
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<bool>("linkable");

    QTest::newRow("addr only") << QByteArray("{addr: 1}") << true;
    QTest::newRow("unknown type") << QByteArray("{addr: 1, type: int8}") << true;
    QTest::newRow("rw not a boolean") << QByteArray("{addr: 1, rw: 1}") << true;
    QTest::newRow("no addr") << QByteArray("{name: T1}") << false;
    QTest::newRow("input not a boolean") << QByteArray("{addr: 1, input: 1}") << false;
    QTest::newRow("bitfield not a boolean") << QByteArray("{addr: 1, bitfield: 0}") << false;
    QTest::newRow("unknown wordorder") << QByteArray("{addr: 1, wordorder: ABDC}") << false;
    QTest::newRow("not a mapping") << QByteArray("T1") << false;
}

void TestDescriptionReader::linkNeedsAReadableDescription()
{
    QFETCH(QByteArray, variable);
    QFETCH(bool, linkable);

    VariableLink link;
    QCOMPARE(onlySpec(variable).link(&link), linkable);
}

QTEST_GUILESS_MAIN(TestDescriptionReader)
#include "tst_descriptionreader.moc"
