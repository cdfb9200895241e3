// Renders the main window with a few devices listed to a PNG, for the README.
// The devices are played by a local socket that answers on loopback, so the rows come through the
// real receive path; run it inside tools/isolated.sh, which keeps every datagram off the network:
//     tools/isolated.sh build/tools/screenshot/kvrctl700-screenshot docs/mainwindow.png

#include "mainwindow/mainwindow.h"
#include "detail/devicetable.h"
#include "protocol/frame.h"
#include "protocol/mysocket.h"
#include "tools/isolatednetwork.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTableWidget>
#include <QTextStream>
#include <QTimer>
#include <QUdpSocket>

namespace {

struct ShownDevice
{
    quint8 typeCode;
    const char *mac;
    const char *name;
    const char *version;
    const char *netAddr;
    const char *points;
};

const ShownDevice devices[] = {
    {1, "50E549CE2E4A", "PLC-PRESS-01", "01000307", "C0A8010AFFFFFF00C0A80101", "00100010"},
    {1, "50E549CE3B10", "PLC-OVEN-02", "01000205", "C0A8010BFFFFFF00C0A80101", "00200010"},
    {2, "50E549D01A07", "HMI-LINE-2", "0200", "C0A80114FFFFFF00C0A80101", ""},
    {3, "50E549D2C4E1", "SERVO-AX1", "0103", "C0A8011EFFFFFF00C0A80101", ""},
    {4, "50E549D37F22", "VFD-PUMP-03", "0401", "C0A80128FFFFFF00C0A80101", ""},
};

int fail(const QString &message)
{
    QTextStream(stderr) << "kvrctl700-screenshot: " << message << Qt::endl;
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    // The same picture whatever the desktop: rendered without a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    const QString output = arguments.value(1, QStringLiteral("docs/mainwindow.png"));
    if (!kvrtest::isIsolatedNetwork())
        return fail(QStringLiteral("opens sockets: run it through tools/isolated.sh"));

    MainWindow window;
    window.show();

    QUdpSocket device;
    if (!device.bind(QHostAddress(QStringLiteral("127.0.0.2")), Frame::DevicePort, QUdpSocket::ShareAddress))
        return fail(QStringLiteral("cannot bind the device socket: ") + device.errorString());
    for (const ShownDevice &shown : devices) {
        const Frame::DeviceReply reply{{},
                                       QByteArray::fromHex(shown.mac),
                                       shown.name,
                                       QByteArray::fromHex(shown.version),
                                       QByteArray::fromHex(shown.netAddr),
                                       QByteArray::fromHex(shown.points)};
        device.writeDatagram(Frame::encodeReply(shown.typeCode, reply, 0),
                             QHostAddress(QStringLiteral("127.0.0.1")), Frame::DevicePort);
    }

    auto *table = window.findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    QEventLoop loop;
    QObject::connect(g_mySocket, &MySocket::updPackReceived, &loop, [&] {
        if (table->rowCount() == int(std::size(devices)))
            loop.quit();
    });
    QTimer::singleShot(5000, &loop, [&] { loop.exit(1); });
    if (loop.exec() != 0)
        return fail(QStringLiteral("only %1 devices listed").arg(table->rowCount()));

    // Show the first device selected, as after a click on it, once the table paints again: it
    // holds its repaints while a burst of rows arrives.
    table->selectRow(0);
    QDeadlineTimer painted(5000);
    while (!table->updatesEnabled() && !painted.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    if (!window.grab().save(output))
        return fail(QStringLiteral("cannot write ") + output);
    QTextStream(stdout) << "wrote " << output << Qt::endl;
    return 0;
}
