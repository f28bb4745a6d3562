#include "mainwindow.h"
#include "scandialog.h"
#include "simulatedcontroller.h"
#include "velmordevicemodel.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QCheckBox>
#include <QtTest>

namespace {

constexpr int simulatedId = 7;

template <typename T>
T *field(QWidget *dialog, const char *name)
{
    return dialog->findChild<T *>(QLatin1String(name));
}

} // namespace

// "Поиск устройств" in velmor-tool against velmor-sim on a pseudo-terminal.
class TestE2eScanDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void findsTheControllerAndOpensIt();
    void stopEndsTheScan();

private:
    ScanDialog *openScanDialog(MainWindow &window);
    void aimAt(ScanDialog *dialog, int lastAddress);
    bool scanDone(ScanDialog *dialog) const;

    SimulatedController m_controller;
    QTemporaryDir m_dir;
};

void TestE2eScanDialog::initTestCase()
{
    QVERIFY(m_controller.start("ModBUS RTU", simulatedId,
                               {{"T", 0, "type: int16", "65"}, {"P", 1, "type: int16", "3"}}));
}

ScanDialog *TestE2eScanDialog::openScanDialog(MainWindow &window)
{
    window.findChild<QAction *>(QStringLiteral("actionScan"))->trigger();
    return window.findChild<ScanDialog *>();
}

void TestE2eScanDialog::aimAt(ScanDialog *dialog, int lastAddress)
{
    field<QComboBox>(dialog, "comboPort")->setCurrentText(m_controller.link());
    field<QLineEdit>(dialog, "lineBaudRates")->setText(QStringLiteral("9600"));
    field<QCheckBox>(dialog, "checkParityEven")->setChecked(false);
    field<QSpinBox>(dialog, "spinLastAddress")->setValue(lastAddress);
}

bool TestE2eScanDialog::scanDone(ScanDialog *dialog) const
{
    return field<QPushButton>(dialog, "buttonStart")->isEnabled();
}

void TestE2eScanDialog::findsTheControllerAndOpensIt()
{
    MainWindow window;
    ScanDialog *dialog = openScanDialog(window);
    QVERIFY(dialog);
    aimAt(dialog, 10);

    QTest::mouseClick(field<QPushButton>(dialog, "buttonStart"), Qt::LeftButton);

    QVERIFY(!scanDone(dialog));
    QTRY_VERIFY_WITH_TIMEOUT(scanDone(dialog), 20000);
    auto *finds = field<QTableWidget>(dialog, "tableFinds");
    QCOMPARE(finds->rowCount(), 1);
    QCOMPARE(finds->item(0, 1)->text(), QString::number(simulatedId));
    QCOMPARE(field<QProgressBar>(dialog, "progress")->value(), 10);
    const QString file = m_dir.filePath(QStringLiteral("found.yml"));
    QString errorText;
    QVERIFY2(dialog->writeDescription(0, file, &errorText), qPrintable(errorText));
    const int before = window.findChild<QListWidget *>(QStringLiteral("listDevices"))->count();

    emit dialog->deviceDescribed(file);

    auto *list = window.findChild<QListWidget *>(QStringLiteral("listDevices"));
    QCOMPARE(list->count(), before + 1);
    auto *device = list->currentItem()->data(Qt::UserRole).value<QObject *>();
    auto *model = qobject_cast<VelmorDeviceModel *>(device);
    QVERIFY(model);
    QCOMPARE(model->devId(), simulatedId);
    QCOMPARE(model->serialPort(), m_controller.link());
}

void TestE2eScanDialog::stopEndsTheScan()
{
    MainWindow window;
    ScanDialog *dialog = openScanDialog(window);
    aimAt(dialog, 247);
    QTest::mouseClick(field<QPushButton>(dialog, "buttonStart"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(field<QProgressBar>(dialog, "progress")->value() >= 2, 10000);

    QTest::mouseClick(field<QPushButton>(dialog, "buttonStop"), Qt::LeftButton);

    QTRY_VERIFY_WITH_TIMEOUT(scanDone(dialog), 10000);
    QVERIFY(field<QLabel>(dialog, "labelState")->text().contains(QStringLiteral("остановлен")));
    QVERIFY(field<QProgressBar>(dialog, "progress")->value() < 247);
}

QTEST_MAIN(TestE2eScanDialog)
#include "tst_e2escandialog.moc"
