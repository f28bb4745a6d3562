#include "qttranslations.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QtTest>

// Qt's own buttons speak Russian once the catalogue is in, whatever the system's language.
class TestQtTranslations : public QObject
{
    Q_OBJECT

private slots:
    void standardButtonsInRussian_data();
    void standardButtonsInRussian();
};

void TestQtTranslations::standardButtonsInRussian_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("text");
    QTest::newRow("cancel") << int(QDialogButtonBox::Cancel) << QStringLiteral("Отмена");
    QTest::newRow("yes") << int(QDialogButtonBox::Yes) << QStringLiteral("Да");
}

void TestQtTranslations::standardButtonsInRussian()
{
    QFETCH(int, button);
    QFETCH(QString, text);
    QLocale::setDefault(QLocale(QLocale::English));
    static const bool installed = QtTranslations::installRussian(qApp);
    QVERIFY(installed);

    const auto standard = QDialogButtonBox::StandardButton(button);
    QDialogButtonBox box(standard);

    QCOMPARE(box.button(standard)->text().remove(QLatin1Char('&')), text);
}

QTEST_MAIN(TestQtTranslations)
#include "tst_qttranslations.moc"
