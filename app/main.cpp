#include "protocol/mysocket.h"
#include "protocol/devicecontext.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    g_mySocket = new MySocket;
    g_mySocket->initSocket();
    return app.exec();
}
