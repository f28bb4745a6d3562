#include "mainwindow.h"

#include "qttranslations.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Settings go to ~/.config/velmor/velmor-tool.conf.
    QApplication::setOrganizationName(QStringLiteral("velmor"));
    QApplication::setApplicationName(QStringLiteral("velmor-tool"));
    QtTranslations::installRussian(&app);
    MainWindow window;
    window.restoreWorkspace();
    window.openFiles(app.arguments().mid(1));
    window.show();
    return app.exec();
}
