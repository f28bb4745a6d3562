#include "mainwindow.h"
#include "qttranslations.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QtTranslations::installRussian(&app);
    MainWindow window;
    window.show();
    return app.exec();
}
