#include "mainwindow/mainwindow.h"

#include <QApplication>
#include <QIcon>

// No options of our own: the arguments go to QApplication, so Qt's standard options work.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/app.ico")));
    // Lets Wayland compositors match the windows to the desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("kvrctl700"));

    // Binds the device port before the window shows; no search is sent until the user asks.
    MainWindow window;
    window.show();
    return app.exec();
}
