#include "bitfielddialog.h"
#include "bitfieldsession.h"
#include "dialogbutton.h"
#include "modalwatcher.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QtTest>

namespace {
QString boxName(int bit)
{
    return QStringLiteral("checkBox_%1").arg(bit < 10 ? bit + 1 : bit + 11);
}

QCheckBox *boxOfBit(const BitfieldDialog &dialog, int bit)
{
    return dialog.findChild<QCheckBox *>(boxName(bit));
}

QList<int> checkedBits(const BitfieldDialog &dialog)
{
    QList<int> bits;
    for (int bit = 0; bit < 32; ++bit) {
        if (boxOfBit(dialog, bit)->isChecked())
            bits.append(bit);
    }
    return bits;
}

}

class TestBitfieldDialog : public QObject
{
    Q_OBJECT

private slots:
    void form();
    void boxOfEachBit_data();
    void boxOfEachBit();
    void noBoxesNumbered11To20();
    void tabOrderFollowsBits();
    void zeroChecksNothing();
    void allOnesRoundTrip();
    void okRebuildsValueFromBoxes();
    void cancelKeepsLoadedValue();
    void readOnlyBoxesCannotToggle();
};

void TestBitfieldDialog::form()
{
    BitfieldDialog dialog(true);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Редактор битового поля"));
    QCOMPARE(dialog.size(), QSize(670, 89));
    QVERIFY(!dialog.windowIcon().isNull());
    QCOMPARE(dialog.findChildren<QCheckBox *>().size(), 32);
    auto *buttons = dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QVERIFY(buttons);
    QCOMPARE(buttons->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QCOMPARE(buttons->orientation(), Qt::Horizontal);
}

void TestBitfieldDialog::boxOfEachBit_data()
{
    QTest::addColumn<int>("bit");
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");

    for (int bit = 0; bit < 32; ++bit) {
        QTest::addRow("bit %d", bit) << bit << boxName(bit) << bit / 16 << bit % 16;
    }
}

void TestBitfieldDialog::boxOfEachBit()
{
    QFETCH(int, bit);
    QFETCH(QString, objectName);
    QFETCH(int, row);
    QFETCH(int, column);

    BitfieldDialog dialog(true);
    auto *box = dialog.findChild<QCheckBox *>(objectName);
    QVERIFY(box);
    QCOMPARE(box->text(), QString::number(bit + 1));
    QCOMPARE(box->maximumSize(), QSize(40, 20));
    QVERIFY(box->isEnabled());

    auto *grid = dialog.findChild<QGridLayout *>(QStringLiteral("gridLayout"));
    QVERIFY(grid);
    int gridRow = -1;
    int gridColumn = -1;
    int rowSpan = 0;
    int columnSpan = 0;
    grid->getItemPosition(grid->indexOf(box), &gridRow, &gridColumn, &rowSpan, &columnSpan);
    QCOMPARE(gridRow, row);
    QCOMPARE(gridColumn, column);

    dialog.setValue(quint32(1) << bit);
    QCOMPARE(checkedBits(dialog), QList<int>{bit});

    dialog.setValue(~(quint32(1) << bit));
    QVERIFY(!box->isChecked());
    QCOMPARE(checkedBits(dialog).size(), 31);

    dialog.setValue(0);
    box->setChecked(true);
    ModalWatcher ok(BitfieldDialog::staticMetaObject, [](QWidget *modal) {
        clickDialogButton(modal, QDialogButtonBox::Ok);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(dialog.value(), quint32(1) << bit);
}

void TestBitfieldDialog::noBoxesNumbered11To20()
{
    BitfieldDialog dialog(true);
    for (int number = 11; number <= 20; ++number)
        QVERIFY(!dialog.findChild<QCheckBox *>(QStringLiteral("checkBox_%1").arg(number)));
}

void TestBitfieldDialog::tabOrderFollowsBits()
{
    BitfieldDialog dialog(true);
    for (int bit = 0; bit < 31; ++bit) {
        QWidget *next = boxOfBit(dialog, bit)->nextInFocusChain();
        QCOMPARE(next->objectName(), boxName(bit + 1));
    }
}

void TestBitfieldDialog::zeroChecksNothing()
{
    BitfieldDialog dialog(true);
    dialog.setValue(0xFFFFFFFFu);
    dialog.setValue(0);
    QCOMPARE(checkedBits(dialog), QList<int>());
    QCOMPARE(dialog.value(), quint32(0));
}

void TestBitfieldDialog::allOnesRoundTrip()
{
    BitfieldDialog dialog(true);
    dialog.setValue(0xFFFFFFFFu);
    QCOMPARE(checkedBits(dialog).size(), 32);

    ModalWatcher ok(BitfieldDialog::staticMetaObject, [](QWidget *modal) {
        clickDialogButton(modal, QDialogButtonBox::Ok);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(dialog.value(), 0xFFFFFFFFu);
}

void TestBitfieldDialog::okRebuildsValueFromBoxes()
{
    BitfieldDialog dialog(true);
    dialog.setValue(0x80000005u);

    BitfieldSession session;
    session.toggle = {1, 31, 20};
    ModalWatcher ok(BitfieldDialog::staticMetaObject, std::ref(session));
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(dialog.value(), 0x00100007u);
}

void TestBitfieldDialog::cancelKeepsLoadedValue()
{
    BitfieldDialog dialog(true);
    dialog.setValue(0x12345678u);

    BitfieldSession session;
    session.toggle = {0, 3};
    session.button = QDialogButtonBox::Cancel;
    ModalWatcher cancel(BitfieldDialog::staticMetaObject, std::ref(session));
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QCOMPARE(dialog.value(), 0x12345678u);
}

void TestBitfieldDialog::readOnlyBoxesCannotToggle()
{
    BitfieldDialog dialog(false);
    dialog.setValue(0x00000401u);
    const QList<QCheckBox *> boxes = dialog.findChildren<QCheckBox *>();
    for (QCheckBox *box : boxes)
        QVERIFY(!box->isEnabled());

    BitfieldSession session;
    session.toggle = {0, 5};
    ModalWatcher ok(BitfieldDialog::staticMetaObject, std::ref(session));
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(checkedBits(dialog), (QList<int>{0, 10}));
    QCOMPARE(dialog.value(), 0x00000401u);
}

QTEST_MAIN(TestBitfieldDialog)
#include "tst_bitfielddialog.moc"
