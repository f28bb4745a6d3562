#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Settings go to ~/.config/velmor/velmor-tool.conf.
    QApplication::setOrganizationName(QStringLiteral("velmor"));
    QApplication::setApplicationName(QStringLiteral("velmor-tool"));
    MainWindow window;
    window.show();
    return app.exec();
}
