#include "logcapture.h"
#include "logtexts.h"
#include "modelloader.h"
#include "velmordevicemodel.h"

#include <QtTest>

#include <unistd.h>

namespace {
const QString unableToOpen = QStringLiteral("(VelmorDeviceModel) Unable to open configuration file");
const QString unableToParse = QStringLiteral("(VelmorDeviceModel) Unable to parse configuration file");
const QString notSpecified = QStringLiteral("(VelmorDeviceModel) Device protocol not specified");
const QString notSupported = QStringLiteral("(VelmorDeviceModel) Device protocol not supported");
const QString noVariables = QStringLiteral("(VelmorDeviceModel) No variables block in configuration file");
const QByteArray validHead = "protocol: ModBUS RTU\n";
constexpr qint64 sizeLimit = 8 * 1024 * 1024;

// The bytes of a literal that holds NUL bytes, without its terminating NUL.
template <int size>
QByteArray bytesOf(const char (&text)[size])
{
    return QByteArray(text, size - 1);
}

// Fixed pseudo-random bytes without NUL and CR, so the text is the same however it is read.
QByteArray binaryJunk(int size)
{
    QByteArray bytes;
    quint32 state = 1;
    while (bytes.size() < size) {
        state = state * 1103515245u + 12345u;
        const char byte = char((state >> 16) & 0xff);
        if (byte != '\0' && byte != '\r')
            bytes.append(byte);
    }
    return bytes;
}

QByteArray everyByteValue()
{
    QByteArray bytes;
    for (int value = 0; value < 256; ++value)
        bytes.append(char(value));
    return bytes;
}

QByteArray flowNesting(int depth)
{
    return QByteArray(depth, '[') + QByteArray(depth, ']');
}

QByteArray blockNesting(int depth)
{
    QByteArray text;
    for (int level = 0; level < depth; ++level)
        text += QByteArray(level * 2, ' ') + "- \n";
    return text;
}

// Nine levels of nine aliases each: 9^9 leaves if anything expands the aliases.
QByteArray aliasBomb()
{
    QByteArray text = "a: &a [lol, lol, lol, lol, lol, lol, lol, lol, lol]\n";
    for (char level = 'b'; level <= 'j'; ++level) {
        const QByteArray previous = "*" + QByteArray(1, char(level - 1));
        text += QByteArray(1, level) + ": &" + QByteArray(1, level) + " [";
        for (int n = 0; n < 9; ++n)
            text += (n ? ", " : "") + previous;
        text += "]\n";
    }
    return text;
}

QByteArray manyVariables(int count)
{
    QByteArray text = validHead + "variables:\n";
    for (int n = 0; n < count; ++n)
        text += "  - {name: V" + QByteArray::number(n) + ", addr: " + QByteArray::number(n) + "}\n";
    return text;
}

// Reads everything a view or a caller could ask for; a broken tree must not crash it.
void touchEverything(VelmorDeviceModel &model)
{
    model.devName();
    model.devProtoName();
    const int rows = model.rowCount();
    for (int row = 0; row <= rows && row < 100; ++row) {
        for (int column = 0; column < model.columnCount(); ++column) {
            const QModelIndex index = model.index(row, column);
            model.data(index);
            model.flags(index);
        }
        model.getVarValue(uint(row));
        model.getVarAttr(uint(row), QStringLiteral("rw"));
    }
}
}

class TestModelHostileFiles : public QObject
{
    Q_OBJECT

private slots:
    void hostileFiles_data();
    void hostileFiles();
    void directory();
    void unreadableFile();
    void fileOverSizeLimit();
    void endlessDevice();
};

void TestModelHostileFiles::hostileFiles_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("varCount");

    QTest::newRow("binary junk read as one scalar") << binaryJunk(512) << false << notSpecified << 0;
    QTest::newRow("binary junk with a stray map value") << binaryJunk(4096) << false << unableToParse << 0;
    QTest::newRow("every byte value once") << everyByteValue() << false << notSpecified << 0;
    QTest::newRow("NUL bytes before the document")
        << bytesOf("\0\0\0protocol: ModBUS RTU\nvariables: []\n") << false << notSpecified << 0;
    QTest::newRow("NUL byte before variables")
        << bytesOf("protocol: ModBUS RTU\n\0variables: []\n") << false << noVariables << 0;
    QTest::newRow("top level sequence of descriptions")
        << QByteArray("- " + validHead + "  variables: []\n- device: Second\n") << false << notSpecified << 0;
    QTest::newRow("lone UTF-8 continuation bytes") << QByteArray("\x80\x80\x80\n") << false << notSpecified << 0;
    QTest::newRow("invalid UTF-8 in the device name")
        << QByteArray(validHead + "device: \xff\xfe\xc3\x28\nvariables: []\n") << true << QString() << 0;
    QTest::newRow("invalid UTF-8 in the protocol name")
        << QByteArray("protocol: ModBUS RTU\xff\nvariables: []\n") << false << notSupported << 0;
    QTest::newRow("invalid UTF-8 in a variable name")
        << QByteArray(validHead + "variables:\n  - {name: \"T\xc3\", addr: 1}\n") << true << QString() << 1;
    QTest::newRow("UTF-8 byte order mark")
        << QByteArray("\xef\xbb\xbf" + validHead + "variables: []\n") << true << QString() << 0;
    QTest::newRow("CRLF line ends")
        << QByteArray("protocol: ModBUS RTU\r\nvariables:\r\n  - addr: 1\r\n") << true << QString() << 1;
    QTest::newRow("1000 nested flow sequences") << flowNesting(1000) << false << unableToParse << 0;
    QTest::newRow("1000 nested flow mappings")
        << QByteArray(1000, '{') + QByteArray(1000, '}') << false << unableToParse << 0;
    QTest::newRow("1000 nested block sequences") << blockNesting(1000) << false << unableToParse << 0;
    QTest::newRow("1000 nested sequences as variables")
        << QByteArray(validHead + "variables: " + flowNesting(1000) + "\n") << false << unableToParse << 0;
    QTest::newRow("400 nested sequences as variables")
        << QByteArray(validHead + "variables: " + flowNesting(400) + "\n") << true << QString() << 1;
    QTest::newRow("self-referencing alias") << QByteArray("a: &a [*a]\n") << false << notSpecified << 0;
    QTest::newRow("variables that contain themselves")
        << QByteArray(validHead + "variables: &v [*v]\n") << true << QString() << 1;
    QTest::newRow("variable entry that contains itself")
        << QByteArray(validHead + "variables:\n  - &e {addr: 1, name: *e, desc: *e, rw: *e}\n") << true << QString() << 1;
    QTest::newRow("alias bomb without protocol") << aliasBomb() << false << notSpecified << 0;
    QTest::newRow("alias bomb beside a description")
        << QByteArray(aliasBomb() + validHead + "variables: []\n") << true << QString() << 0;
    QTest::newRow("alias bomb as variables")
        << QByteArray(aliasBomb() + validHead + "variables: *j\n") << true << QString() << 9;
    QTest::newRow("alias bomb as attributes")
        << QByteArray(aliasBomb() + validHead + "variables:\n  - {addr: *j, name: *j, value: *j, rw: *j}\n") << true << QString() << 1;
    QTest::newRow("undefined alias")
        << QByteArray(validHead + "variables: [*nowhere]\n") << false << unableToParse << 0;
    QTest::newRow("one megabyte device name")
        << QByteArray(validHead + "device: " + QByteArray(1 << 20, 'x') + "\nvariables: []\n") << true << QString() << 0;
    QTest::newRow("5000 variables") << manyVariables(5000) << true << QString() << 5000;
    QTest::newRow("explicit tag on the protocol")
        << QByteArray("protocol: !!str ModBUS RTU\nvariables: []\n") << true << QString() << 0;
    QTest::newRow("complex mapping key")
        << QByteArray("? [a, b]\n: c\n" + validHead + "variables: []\n") << true << QString() << 0;
}

void TestModelHostileFiles::hostileFiles()
{
    QFETCH(QByteArray, contents);
    QFETCH(bool, valid);
    QFETCH(QString, message);
    QFETCH(int, varCount);

    ModelLoader loader;
    LogCapture log;
    const auto model = loader.load(contents);

    QCOMPARE(model->valid(), valid);
    QCOMPARE(logTexts(log, QtCriticalMsg), valid ? QStringList() : QStringList {message});
    QCOMPARE(model->varCount(), varCount);
    touchEverything(*model);
}

void TestModelHostileFiles::directory()
{
    ModelLoader loader;
    LogCapture log;
    const auto model = loader.loadPath(loader.folder());

    QVERIFY(!model->valid());
    QCOMPARE(logTexts(log, QtCriticalMsg), QStringList {unableToOpen});
    QCOMPARE(model->varCount(), 0);
}

void TestModelHostileFiles::unreadableFile()
{
    if (::geteuid() == 0)
        QSKIP("root reads a file whatever its permissions say");
    ModelLoader loader;
    const QString path = loader.write(ModelLoader::boilerRoom());
    QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    LogCapture log;
    const auto model = loader.loadPath(path);

    QVERIFY(!model->valid());
    QCOMPARE(logTexts(log, QtCriticalMsg), QStringList {unableToOpen});
}

void TestModelHostileFiles::fileOverSizeLimit()
{
    // A valid description padded to one byte over the limit inside a comment: read whole,
    // it would load, so only the size can refuse it. The padding is sparse.
    ModelLoader loader;
    const QString path = loader.write(validHead + "variables: []\n# ");
    QFile file(path);
    QVERIFY(file.resize(sizeLimit + 1));
    LogCapture log;
    const auto model = loader.loadPath(path);

    QVERIFY(!model->valid());
    QCOMPARE(logTexts(log, QtCriticalMsg), QStringList {unableToParse});
    QCOMPARE(model->varCount(), 0);
}

void TestModelHostileFiles::endlessDevice()
{
    // A character device reports no size and never ends: only the read limit stops it.
    ModelLoader loader;
    LogCapture log;
    const auto model = loader.loadPath(QStringLiteral("/dev/zero"));

    QVERIFY(!model->valid());
    QCOMPARE(logTexts(log, QtCriticalMsg), QStringList {unableToParse});
}

QTEST_GUILESS_MAIN(TestModelHostileFiles)
#include "tst_modelhostilefiles.moc"
