#include "hostilecorpus.h"
#include "logcapture.h"
#include "logtexts.h"
#include "modelloader.h"
#include "velmordevicemodel.h"

#include <QtTest>

#include <unistd.h>

namespace {
const QString unableToOpen = QStringLiteral("(VelmorDeviceModel) Unable to open configuration file");
const QString unableToParse = QStringLiteral("(VelmorDeviceModel) Unable to parse configuration file");
const QByteArray validHead = "protocol: ModBUS RTU\n";
constexpr qint64 sizeLimit = 8 * 1024 * 1024;

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

    for (const HostileFile &file : hostileCorpus())
        QTest::newRow(file.name) << file.contents << file.valid << file.message << file.varCount;
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
