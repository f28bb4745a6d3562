#include "modelloader.h"
#include "velmordevicemodel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include <limits>

namespace {
constexpr int selectableEnabled = 0x21;
constexpr int selectableEditableEnabled = 0x23;
constexpr int selectableOnly = 0x01;

int flagsOf(const VelmorDeviceModel &model, int row, int column)
{
    return int(model.flags(model.index(row, column)));
}
}

class TestModelItemModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void passesModelTester_data();
    void passesModelTester();
    void flatTable();
    void indexesOutsideTheTable();
    void headers_data();
    void headers();
    void cells_data();
    void cells();
    void valueFlags_data();
    void valueFlags();
    void textColumnFlags_data();
    void textColumnFlags();
    void nonMappingEntryFlags();
    void setDataStoresAndSignals_data();
    void setDataStoresAndSignals();
    void setDataRefusals_data();
    void setDataRefusals();

private:
    std::unique_ptr<VelmorDeviceModel> loadBoilerRoom();

    ModelLoader m_loader;
};

void TestModelItemModel::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

std::unique_ptr<VelmorDeviceModel> TestModelItemModel::loadBoilerRoom()
{
    return m_loader.load(ModelLoader::boilerRoom());
}

void TestModelItemModel::passesModelTester_data()
{
    QTest::addColumn<QByteArray>("contents");

    QTest::newRow("boiler room") << ModelLoader::boilerRoom();
    QTest::newRow("no variables") << ModelLoader::withVariables("  []\n");
    QTest::newRow("entries that are no mappings")
        << ModelLoader::withVariables("  - 7\n  - [a]\n  -\n  - {addr: 1, value: 2}\n");
    QTest::newRow("refused file") << QByteArray("protocol: [\n");
}

void TestModelItemModel::passesModelTester()
{
    QFETCH(QByteArray, contents);

    const auto model = m_loader.load(contents);
    QAbstractItemModelTester tester(model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    // The tester checks the change notification that an accepted edit emits.
    if (model->rowCount() > 0)
        model->setData(model->index(0, 2), 3, Qt::EditRole);
    QCOMPARE(model->setData(QModelIndex(), 3, Qt::EditRole), false);
}

void TestModelItemModel::flatTable()
{
    const auto model = loadBoilerRoom();
    QVERIFY(model->valid());

    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(model->columnCount(), 4);
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 4; ++column) {
            const QModelIndex index = model->index(row, column);
            QVERIFY(index.isValid());
            QCOMPARE(index.row(), row);
            QCOMPARE(index.column(), column);
            QCOMPARE(index.internalId(), quintptr(0));
            QCOMPARE(model->rowCount(index), 0);
            QCOMPARE(model->columnCount(index), 4);
            QVERIFY(!model->hasChildren(index));
            QVERIFY(!model->parent(index).isValid());
        }
    }
    QVERIFY(!model->parent(QModelIndex()).isValid());
}

void TestModelItemModel::indexesOutsideTheTable()
{
    const auto model = loadBoilerRoom();
    QVERIFY(model->valid());

    QVERIFY(!model->index(3, 0).isValid());
    QVERIFY(!model->index(4, 2).isValid());
    QVERIFY(!model->index(-1, 0).isValid());
    QVERIFY(!model->index(0, -1).isValid());
    QVERIFY(!model->index(std::numeric_limits<int>::max(), 0).isValid());

    const QModelIndex farColumn = model->index(0, 7);
    QVERIFY(farColumn.isValid());
    QCOMPARE(farColumn.internalId(), quintptr(0));
    QCOMPARE(model->data(farColumn, Qt::DisplayRole), QVariant());
    QCOMPARE(model->data(farColumn, Qt::EditRole), QVariant());
    QCOMPARE(int(model->flags(farColumn)), selectableEnabled);

    QCOMPARE(model->data(QModelIndex(), Qt::DisplayRole), QVariant());
    QCOMPARE(int(model->flags(QModelIndex())), int(Qt::NoItemFlags));
}

void TestModelItemModel::headers_data()
{
    QTest::addColumn<int>("section");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("column 0") << 0 << int(Qt::Horizontal) << int(Qt::DisplayRole) << QVariant(QStringLiteral("Переменная"));
    QTest::newRow("column 1") << 1 << int(Qt::Horizontal) << int(Qt::DisplayRole) << QVariant(QStringLiteral("Имя"));
    QTest::newRow("column 2") << 2 << int(Qt::Horizontal) << int(Qt::DisplayRole) << QVariant(QStringLiteral("Значение"));
    QTest::newRow("column 3") << 3 << int(Qt::Horizontal) << int(Qt::DisplayRole) << QVariant(QStringLiteral("Описание"));
    QTest::newRow("vertical") << 1 << int(Qt::Vertical) << int(Qt::DisplayRole) << QVariant();
    QTest::newRow("tool tip") << 1 << int(Qt::Horizontal) << int(Qt::ToolTipRole) << QVariant();
    QTest::newRow("edit role") << 1 << int(Qt::Horizontal) << int(Qt::EditRole) << QVariant();
    QTest::newRow("decoration") << 0 << int(Qt::Horizontal) << int(Qt::DecorationRole) << QVariant();
}

void TestModelItemModel::headers()
{
    QFETCH(int, section);
    QFETCH(int, orientation);
    QFETCH(int, role);
    QFETCH(QVariant, expected);

    const auto model = loadBoilerRoom();
    const QVariant header = model->headerData(section, Qt::Orientation(orientation), role);
    QCOMPARE(header, expected);
    if (expected.isValid())
        QCOMPARE(header.userType(), int(QMetaType::QString));
}

void TestModelItemModel::cells_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("address as written") << 0 << 0 << QVariant(QStringLiteral("0x10"));
    QTest::newRow("name") << 0 << 1 << QVariant(QStringLiteral("T1"));
    QTest::newRow("no value yet") << 0 << 2 << QVariant();
    QTest::newRow("description") << 0 << 3 << QVariant(QStringLiteral("Supply temperature"));
    QTest::newRow("decimal address") << 1 << 0 << QVariant(QStringLiteral("20"));
    QTest::newRow("no description") << 1 << 3 << QVariant();
    QTest::newRow("value from the file as written") << 3 << 2 << QVariant(QStringLiteral("1.50"));
    QTest::newRow("no name") << 3 << 1 << QVariant();
}

void TestModelItemModel::cells()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QVariant, expected);

    const auto model = m_loader.load(ModelLoader::boilerRoom() + "  - addr: 40\n    type: float32\n    value: 1.50\n");
    QVERIFY(model->valid());

    const QModelIndex index = model->index(row, column);
    QCOMPARE(model->data(index, Qt::DisplayRole), expected);
    QCOMPARE(model->data(index, Qt::EditRole), expected);
    QCOMPARE(model->data(index, Qt::DecorationRole), QVariant());
    QCOMPARE(model->data(index, Qt::CheckStateRole), QVariant());
}

void TestModelItemModel::valueFlags_data()
{
    QTest::addColumn<QByteArray>("rwLine");
    QTest::addColumn<int>("expected");

    const QList<QByteArray> trueSpellings = {"true", "yes", "on", "y", "True", "TRUE", "Yes", "YES", "On", "ON", "Y"};
    for (const QByteArray &spelling : trueSpellings)
        QTest::newRow("rw " + spelling) << QByteArray("rw: " + spelling) << selectableEditableEnabled;
    const QList<QByteArray> falseSpellings = {"false", "no", "off", "n", "False", "FALSE", "No", "OFF", "N"};
    for (const QByteArray &spelling : falseSpellings)
        QTest::newRow("rw " + spelling) << QByteArray("rw: " + spelling) << selectableEnabled;
    QTest::newRow("rw absent") << QByteArray() << selectableEnabled;
}

void TestModelItemModel::valueFlags()
{
    QFETCH(QByteArray, rwLine);
    QFETCH(int, expected);

    QByteArray entry = "  - name: V\n    addr: 1\n    desc: D\n";
    if (!rwLine.isEmpty())
        entry += "    " + rwLine + "\n";
    const auto model = m_loader.load(ModelLoader::withVariables(entry));
    QVERIFY(model->valid());

    QCOMPARE(flagsOf(*model, 0, 2), expected);
    QCOMPARE(flagsOf(*model, 0, 0), selectableEnabled);
    QCOMPARE(flagsOf(*model, 0, 1), selectableEnabled);
    QCOMPARE(flagsOf(*model, 0, 3), selectableEnabled);
}

void TestModelItemModel::textColumnFlags_data()
{
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<int>("nameFlags");
    QTest::addColumn<int>("descFlags");

    QTest::newRow("name and desc") << QByteArray("{addr: 1, name: N, desc: D}") << selectableEnabled << selectableEnabled;
    QTest::newRow("neither") << QByteArray("{addr: 1}") << selectableOnly << selectableOnly;
    QTest::newRow("name only") << QByteArray("{addr: 1, name: N}") << selectableEnabled << selectableOnly;
    QTest::newRow("desc only") << QByteArray("{addr: 1, desc: D}") << selectableOnly << selectableEnabled;
    QTest::newRow("empty quoted texts") << QByteArray("{addr: 1, name: '', desc: ''}") << selectableEnabled << selectableEnabled;
    QTest::newRow("texts without a value") << QByteArray("{addr: 1, name: , desc: }") << selectableEnabled << selectableEnabled;
    QTest::newRow("keys in another case") << QByteArray("{addr: 1, Name: N, DESC: D}") << selectableOnly << selectableOnly;
}

void TestModelItemModel::textColumnFlags()
{
    QFETCH(QByteArray, entry);
    QFETCH(int, nameFlags);
    QFETCH(int, descFlags);

    const auto model = m_loader.load(ModelLoader::withVariables("  - " + entry + "\n"));
    QVERIFY(model->valid());

    QCOMPARE(flagsOf(*model, 0, 0), selectableEnabled);
    QCOMPARE(flagsOf(*model, 0, 1), nameFlags);
    QCOMPARE(flagsOf(*model, 0, 2), selectableEnabled);
    QCOMPARE(flagsOf(*model, 0, 3), descFlags);
}

void TestModelItemModel::nonMappingEntryFlags()
{
    const auto model = m_loader.load(ModelLoader::withVariables("  - 7\n  - [rw, name]\n  -\n"));
    QVERIFY(model->valid());

    for (int row = 0; row < 3; ++row) {
        QCOMPARE(flagsOf(*model, row, 0), selectableEnabled);
        QCOMPARE(flagsOf(*model, row, 1), selectableOnly);
        QCOMPARE(flagsOf(*model, row, 2), selectableEnabled);
        QCOMPARE(flagsOf(*model, row, 3), selectableOnly);
        for (int column = 0; column < 4; ++column)
            QCOMPARE(model->data(model->index(row, column)), QVariant());
    }
}

void TestModelItemModel::setDataStoresAndSignals_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<QString>("held");

    QTest::newRow("value cell, text 12") << 1 << 2 << QVariant(QStringLiteral("12")) << QStringLiteral("12");
    QTest::newRow("float value 0.1") << 2 << 2 << QVariant(0.1) << QStringLiteral("0.1");
    QTest::newRow("float value as text") << 2 << 2 << QVariant(QStringLiteral("3.14159265")) << QStringLiteral("3.141593");
    QTest::newRow("float value with a decimal comma") << 2 << 2 << QVariant(QStringLiteral("0,5")) << QStringLiteral("0.5");
}

void TestModelItemModel::setDataStoresAndSignals()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QVariant, input);
    QFETCH(QString, held);

    const auto model = loadBoilerRoom();
    QAbstractItemModelTester tester(model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);
    const QModelIndex index = model->index(row, column);

    QVERIFY(model->setData(index, input, Qt::EditRole));

    QCOMPARE(changed.count(), 1);
    const QList<QVariant> arguments = changed.takeFirst();
    QCOMPARE(arguments.at(0).value<QModelIndex>(), index);
    QCOMPARE(arguments.at(1).value<QModelIndex>(), index);
    QCOMPARE(arguments.at(2).value<QVector<int>>(), QVector<int>());
    const QModelIndex valueCell = model->index(row, 2);
    QCOMPARE(model->data(valueCell, Qt::DisplayRole), QVariant(held));
    QCOMPARE(model->data(valueCell, Qt::EditRole), QVariant(held));
    QCOMPARE(model->getVarAttr(uint(row), QStringLiteral("value")), QVariant(held));
}

void TestModelItemModel::setDataRefusals_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("input");

    QTest::newRow("display role") << 1 << 2 << int(Qt::DisplayRole) << QVariant(QStringLiteral("12"));
    QTest::newRow("tool tip role") << 1 << 2 << int(Qt::ToolTipRole) << QVariant(QStringLiteral("12"));
    QTest::newRow("check state role") << 1 << 2 << int(Qt::CheckStateRole) << QVariant(int(Qt::Checked));
    QTest::newRow("text abc") << 1 << 2 << int(Qt::EditRole) << QVariant(QStringLiteral("abc"));
    QTest::newRow("int16 70000, beyond its range") << 1 << 2 << int(Qt::EditRole) << QVariant(QStringLiteral("70000"));
    QTest::newRow("value of a read-only variable") << 0 << 2 << int(Qt::EditRole) << QVariant(QStringLiteral("21"));
    QTest::newRow("address cell") << 1 << 0 << int(Qt::EditRole) << QVariant(QStringLiteral("12"));
    QTest::newRow("description cell") << 1 << 3 << int(Qt::EditRole) << QVariant(QStringLiteral("12"));
    QTest::newRow("invalid variant") << 1 << 2 << int(Qt::EditRole) << QVariant();
}

void TestModelItemModel::setDataRefusals()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, role);
    QFETCH(QVariant, input);

    const auto model = m_loader.load(ModelLoader::withVariables("  - {addr: 1, type: int16, value: 5}\n"
                                                                "  - {addr: 2, type: int16, value: 6, rw: true}\n"
                                                                "  - {addr: 3, type: float32, value: 7, rw: true}\n"));
    QVERIFY(model->valid());
    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);
    const QVariant before = model->getVarAttr(unsigned(row), QStringLiteral("value"));

    QCOMPARE(model->setData(model->index(row, column), input, role), false);

    QCOMPARE(changed.count(), 0);
    QCOMPARE(model->getVarAttr(unsigned(row), QStringLiteral("value")), before);
}

QTEST_GUILESS_MAIN(TestModelItemModel)
#include "tst_modelitemmodel.moc"
