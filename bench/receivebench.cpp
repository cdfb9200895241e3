#include "benchmarks.h"
#include "harness.h"

#include "protocol/frame.h"
#include "protocol/mysocket.h"
#include "simdevice.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QVariant>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>

namespace Bench {

namespace {

constexpr int Rounds = 200;
constexpr int ReceiveBufferBytes = 1 << 20; // what the endpoint asks for

sockaddr_in loopbackAddress(const char *address, quint16 port)
{
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &to.sin_addr);
    return to;
}

int boundSocket(const char *address, quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const sockaddr_in local = loopbackAddress(address, port);
    // Shares port 102 with the endpoint, as the endpoint's own flags allow.
    const int reuse = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &ReceiveBufferBytes, sizeof ReceiveBufferBytes);
    return fd;
}

} // namespace

void runReceiveBenchmark()
{
    printLine(QStringLiteral("\n== Receive path over loopback: MySocket::processPendingDatagrams() vs a plain recvfrom() loop"));
    QuietTraces quiet;

    // The same datagrams for every reader: two replies from each of 127 devices, queued before the
    // clock starts.
    QList<QByteArray> batch;
    const QList<DevSim::SimDevice> devices = DevSim::generatedDevices(127);
    for (int copy = 0; copy < 2; ++copy) {
        for (const DevSim::SimDevice &device : devices)
            batch.append(Frame::encodeReply(device.typeCode, DevSim::replyFields(device), quint32(copy)));
    }

    MySocket endpoint;
    QUdpSocket qtReader;
    const int plain = boundSocket("127.0.0.2", Frame::DevicePort);
    const int sender = boundSocket("127.0.0.9", 0);
    if (!endpoint.initSocket() || plain < 0 || sender < 0
        || !qtReader.bind(QHostAddress(QStringLiteral("127.0.0.3")), Frame::DevicePort, QUdpSocket::ShareAddress)) {
        printLine(QStringLiteral("!! cannot bind port 102: run it inside a network namespace (make bench)"));
        return;
    }
    qtReader.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, QVariant(ReceiveBufferBytes));

    int received = 0;
    QEventLoop loop;
    QObject::connect(&endpoint, &MySocket::updPackReceived, &loop, [&] {
        if (++received == batch.size())
            loop.quit();
    });
    const auto sendBatch = [&](const char *address) {
        const sockaddr_in to = loopbackAddress(address, Frame::DevicePort);
        for (const QByteArray &datagram : batch)
            ::sendto(sender, datagram.constData(), size_t(datagram.size()), 0,
                     reinterpret_cast<const sockaddr *>(&to), sizeof to);
    };
    int lostRounds = 0;
    // Through the event loop: readyRead, the receive loop with its traces, decoding, the record, the signal.
    const auto throughEndpoint = [&] {
        received = 0;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
        guard.start(2000);
        loop.exec();
        lostRounds += received != batch.size();
    };
    // The same with the traces switched off the way a user would (QT_LOGGING_RULES): not formatted.
    const auto throughQuietEndpoint = [&] {
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
        throughEndpoint();
        QLoggingCategory::setFilterRules(QString());
    };
    // What QUdpSocket costs by itself when read the endpoint's way: peek, then one read of the
    // whole datagram with the adapter it came in on.
    const auto qtPeekReceive = [&] {
        for (int n = 0; n < batch.size() && qtReader.hasPendingDatagrams(); ++n)
            qtReader.receiveDatagram(65536);
    };
    // The same into a buffer kept for all, without asking for the adapter.
    const auto qtPeekRead = [&] {
        QByteArray buffer(65536, Qt::Uninitialized);
        for (int n = 0; n < batch.size() && qtReader.hasPendingDatagrams(); ++n)
            qtReader.readDatagram(buffer.data(), buffer.size());
    };
    // The same socket read with one call per datagram, into a buffer that fits any UDP datagram.
    const auto qtSingleRead = [&] {
        QByteArray buffer(65536, Qt::Uninitialized);
        for (int n = 0; n < batch.size(); ++n)
            qtReader.readDatagram(buffer.data(), buffer.size());
    };
    // The floor: one recvfrom() per datagram, nothing else.
    const auto plainRecvfrom = [&] {
        char buffer[2048];
        for (int i = 0; i < batch.size(); ++i)
            ::recvfrom(plain, buffer, sizeof buffer, 0, nullptr, nullptr);
    };

    struct Reader
    {
        const char *name;
        const char *address;
        std::function<void()> receiveAll;
        QList<double> samples;
    };
    QList<Reader> readers{
        {"MySocket receive path, traces off", "127.0.0.1", throughQuietEndpoint, {}},
        {"MySocket receive path, traces formatted", "127.0.0.1", throughEndpoint, {}},
        {"  QUdpSocket alone, read the endpoint's way", "127.0.0.3", qtPeekReceive, {}},
        {"  QUdpSocket alone, without the adapter", "127.0.0.3", qtPeekRead, {}},
        {"  QUdpSocket alone, one read per datagram", "127.0.0.3", qtSingleRead, {}},
        {"plain recvfrom() loop (the same 254)", "127.0.0.2", plainRecvfrom, {}},
    };
    QElapsedTimer timer;
    for (int round = 0; round <= Rounds; ++round) {
        for (Reader &reader : readers) {
            sendBatch(reader.address);
            timer.start();
            reader.receiveAll();
            const double nsPerDatagram = double(timer.nsecsElapsed()) / batch.size();
            if (round > 0) // the first round warms up
                reader.samples.append(nsPerDatagram);
        }
    }
    ::close(plain);
    ::close(sender);

    for (const Reader &reader : readers.mid(0, readers.size() - 1))
        printRate(reader.name, fromSamples(reader.samples), "datagrams");

    // The endpoint's own work per datagram, beside the socket: decoding and one trace line.
    int accepted = 0;
    printRate("  Frame::decode of the same replies", measure(50, batch.size(), [&] {
                  for (const QByteArray &datagram : batch)
                      accepted += Frame::decode(datagram).accepted;
              }),
              "datagrams");
    printRate("  one trace line, formatted and discarded", measure(50, batch.size(), [&] {
                  for (const QByteArray &datagram : batch)
                      qDebug() << "Recv Num:" << datagram.size();
              }),
              "lines");
    printRate(readers.last().name, fromSamples(readers.last().samples), "datagrams");
    const Measurement viaPlain = fromSamples(readers.last().samples);
    for (int endpointReader : {0, 1}) {
        const Measurement viaEndpoint = fromSamples(readers.at(endpointReader).samples);
        const double bestRatio = viaPlain.bestNs / viaEndpoint.bestNs;
        const double medianRatio = viaPlain.medianNs / viaEndpoint.medianNs;
        printLine(QStringLiteral("%1 %2 (median rounds: %3)  goal >= 0.50: %4")
                      .arg(QStringLiteral("ratio to plain, %1").arg(QLatin1String(readers.at(endpointReader).name).mid(22)).leftJustified(44))
                      .arg(bestRatio, 0, 'f', 2)
                      .arg(medianRatio, 0, 'f', 2)
                      .arg(medianRatio >= 0.5 ? QStringLiteral("met") : QStringLiteral("MISSED")));
    }
    if (lostRounds > 0)
        printLine(QStringLiteral("!! %1 rounds lost datagrams").arg(lostRounds));
}

} // namespace Bench
