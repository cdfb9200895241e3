#include "simulator.h"

#include "protocol/conversions.h"

#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>

#include <cstring>

#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace DevSim {

struct Simulator::PlayedDevice
{
    SimDevice settings;
    std::optional<SimDevice> pending; // settings that take effect when the restart is over
    bool flashing = false;
    quint32 frameSeq = 0;
    QTimer ledTimeout;
    QTimer restartDelay; // the old settings still answer while it runs
    QTimer restart;

    bool isRestarting() const { return restartDelay.isActive() || restart.isActive(); }
};

namespace {

QString endpointText(const QHostAddress &address, quint16 port)
{
    return QStringLiteral("%1:%2").arg(address.toString()).arg(port);
}

QString commandName(ToolCommand::Kind kind)
{
    switch (kind) {
    case ToolCommand::Search: return QStringLiteral("search");
    case ToolCommand::Led: return QStringLiteral("LED");
    case ToolCommand::Write: return QStringLiteral("write");
    }
    return {};
}

// Sends from `source` as the packet's source address (IP_PKTINFO's ipi_spec_dst, which Qt does not
// set); false when the system refuses, for instance for an address that is not this namespace's.
bool sendFrom(QUdpSocket &socket, const QByteArray &datagram, const QHostAddress &to, quint32 source)
{
#ifdef Q_OS_LINUX
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(Frame::DevicePort);
    destination.sin_addr.s_addr = htonl(to.toIPv4Address());
    iovec data{const_cast<char *>(datagram.constData()), size_t(datagram.size())};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr message{};
    message.msg_name = &destination;
    message.msg_namelen = sizeof destination;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr *header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = IPPROTO_IP;
    header->cmsg_type = IP_PKTINFO;
    header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_spec_dst.s_addr = htonl(source);
    std::memcpy(CMSG_DATA(header), &info, sizeof info);
    return ::sendmsg(int(socket.socketDescriptor()), &message, 0) == datagram.size();
#else
    Q_UNUSED(socket);
    Q_UNUSED(datagram);
    Q_UNUSED(to);
    Q_UNUSED(source);
    return false;
#endif
}

} // namespace

Simulator::Simulator(const QList<SimDevice> &devices, const SimulatorOptions &options, QObject *parent)
    : QObject(parent), m_options(options), m_socket(new QUdpSocket(this)), m_random(options.seed)
{
    for (const SimDevice &settings : devices) {
        auto device = std::make_unique<PlayedDevice>();
        device->settings = settings;
        device->ledTimeout.setSingleShot(true);
        device->restart.setSingleShot(true);
        device->restartDelay.setSingleShot(true);
        PlayedDevice *played = device.get();
        connect(&played->ledTimeout, &QTimer::timeout, this, [this, played] {
            setFlashing(*played, false,
                        QStringLiteral("no flash command for %1 ms").arg(m_options.ledTimeoutMs));
        });
        connect(&played->restart, &QTimer::timeout, this, [this, played] { finishRestart(*played); });
        connect(&played->restartDelay, &QTimer::timeout, this, [this, played] {
            played->restart.start(m_options.restartMs);
            emit report(QStringLiteral("restarting %1").arg(deviceLabel(played->settings)));
        });
        m_devices.push_back(std::move(device));
    }
}

Simulator::~Simulator() = default;

std::optional<QString> Simulator::start()
{
    const QString endpoint = endpointText(m_options.bindAddress, Frame::DevicePort);
    // Not shared: a second simulator on the same address would steal the first one's frames.
    if (!m_socket->bind(m_options.bindAddress, Frame::DevicePort, QUdpSocket::DontShareAddress))
        return QStringLiteral("cannot bind %1: %2").arg(endpoint, m_socket->errorString());
    connect(m_socket, &QUdpSocket::readyRead, this, &Simulator::readPendingDatagrams);
    for (const auto &device : m_devices)
        emit report(QLatin1String("device ") + deviceSummary(device->settings));
    // Last: whoever waits for this line has seen all the others.
    emit report(QStringLiteral("listening on %1 as %2 devices").arg(endpoint).arg(m_devices.size()));
    return std::nullopt;
}

QList<SimDevice> Simulator::devices() const
{
    QList<SimDevice> list;
    for (const auto &device : m_devices)
        list.append(device->settings);
    return list;
}

bool Simulator::isFlashing(int device) const
{
    return m_devices.at(size_t(device))->flashing;
}

bool Simulator::isRestarting(int device) const
{
    return m_devices.at(size_t(device))->isRestarting();
}

void Simulator::readPendingDatagrams()
{
    while (m_socket->hasPendingDatagrams())
        handleDatagram(m_socket->receiveDatagram());
}

void Simulator::handleDatagram(const QNetworkDatagram &datagram)
{
    const QString from = endpointText(datagram.senderAddress(), quint16(datagram.senderPort()));
    const ParsedToolFrame parsed = parseToolFrame(datagram.data());
    if (!parsed.command) {
        emit report(QStringLiteral("rejected %1 bytes from %2: %3")
                        .arg(QString::number(datagram.data().size()), from, parsed.rejection));
        return;
    }
    const ToolCommand &command = *parsed.command;
    if (command.kind == ToolCommand::Search) {
        const QHostAddress searcher = datagram.senderAddress();
        if (m_options.replyDelayMs > 0)
            QTimer::singleShot(m_options.replyDelayMs, this, [this, searcher] { answerSearch(searcher); });
        else
            answerSearch(searcher);
        return;
    }

    const QList<PlayedDevice *> named = devicesWithMac(command.targetMac);
    if (named.isEmpty()) {
        emit report(QStringLiteral("ignored %1 frame from %2: target MAC %3 is none of ours")
                        .arg(commandName(command.kind), from, macBytesToText(command.targetMac)));
        return;
    }
    // A device hears only what is sent to its own address: a frame sent to one device's address
    // with another device's MAC (the tool's current row changed meanwhile) reaches nobody. One sent
    // by broadcast reaches every device with the MAC it names (a device and its impersonator).
    PlayedDevice *addressee = deviceAt(datagram.destinationAddress());
    if (addressee && !named.contains(addressee)) {
        emit report(QStringLiteral("ignored %1 frame from %2: sent to %3, the address of %4, not of %5")
                        .arg(commandName(command.kind), from, datagram.destinationAddress().toString(),
                             deviceLabel(addressee->settings), deviceLabel(named.first()->settings)));
        return;
    }
    for (PlayedDevice *device : named) {
        if (!addressee || device == addressee)
            actOn(device, command, datagram, from);
    }
}

void Simulator::actOn(PlayedDevice *device, const ToolCommand &command, const QNetworkDatagram &datagram,
                      const QString &from)
{
    if (device->settings.ignoresBroadcast && cameByBroadcast(datagram, *device)) {
        emit report(QStringLiteral("ignored %1 frame from %2: sent by broadcast, which %3 ignores")
                        .arg(commandName(command.kind), from, deviceLabel(device->settings)));
        return;
    }
    if (device->isRestarting()) {
        emit report(QStringLiteral("ignored %1 frame from %2: %3 is restarting")
                        .arg(commandName(command.kind), from, deviceLabel(device->settings)));
        return;
    }
    if (command.kind == ToolCommand::Led)
        switchLed(*device, command.led);
    else
        takeWrite(*device, command.write);
}

void Simulator::answerSearch(const QHostAddress &searcher)
{
    const int junkTotal = m_options.junkPerSearch;
    const int deviceCount = int(m_devices.size());
    int answered = 0;
    int restarting = 0;
    int lost = 0;
    int junkSent = 0;
    int failed = 0;
    QString firstFailure;
    // From `source` when it is one of this namespace's addresses, as a device sends from its
    // own; the other devices (of a foreign subnet) from the simulator's address.
    const auto send = [&](const QByteArray &datagram, std::optional<quint32> source = std::nullopt) {
        if ((source && sendFrom(*m_socket, datagram, searcher, *source))
            || m_socket->writeDatagram(datagram, searcher, Frame::DevicePort) == datagram.size())
            return true;
        if (failed++ == 0)
            firstFailure = m_socket->errorString();
        return false;
    };

    for (int i = 0; i < deviceCount; ++i) {
        PlayedDevice &device = *m_devices[size_t(i)];
        const SimDevice &settings = device.settings;
        const quint32 source = settings.answersFrom.value_or(settings.net.ip);
        if (device.restart.isActive()) {
            ++restarting; // silent until the restart is over
        } else if (m_options.dropRate > 0 && m_random.generateDouble() < m_options.dropRate) {
            ++lost;
        } else if (send(Frame::encodeReply(settings.typeCode, replyFields(settings), device.frameSeq++), source)) {
            ++answered;
            if (settings.secondIp) {
                SimDevice second = settings;
                second.net.ip = *settings.secondIp;
                send(Frame::encodeReply(settings.typeCode, replyFields(second), device.frameSeq++),
                     settings.answersFrom.value_or(*settings.secondIp));
            }
        }
        // The junk is spread evenly between the replies.
        while (junkSent < qint64(junkTotal) * (i + 1) / deviceCount) {
            send(junkDatagram(m_junkSent++));
            ++junkSent;
        }
    }

    QString line = QStringLiteral("search from %1 answered by %2 of %3 devices")
                       .arg(endpointText(searcher, Frame::DevicePort))
                       .arg(answered)
                       .arg(deviceCount);
    if (restarting > 0)
        line += QStringLiteral(", %1 restarting").arg(restarting);
    if (lost > 0)
        line += QStringLiteral(", %1 replies lost").arg(lost);
    if (junkTotal > 0)
        line += QStringLiteral(", %1 junk datagrams mixed in").arg(junkTotal);
    if (failed > 0)
        line += QStringLiteral(", %1 sends failed: %2").arg(QString::number(failed), firstFailure);
    emit report(line);
}

void Simulator::switchLed(PlayedDevice &device, Frame::LedCommand command)
{
    if (command == Frame::LedCommand::Flash) {
        device.ledTimeout.start(m_options.ledTimeoutMs);
        setFlashing(device, true, {});
    } else {
        device.ledTimeout.stop();
        setFlashing(device, false, {});
    }
}

void Simulator::setFlashing(PlayedDevice &device, bool flashing, const QString &why)
{
    if (device.flashing == flashing)
        return;
    device.flashing = flashing;
    QString line = QStringLiteral("led %1 %2").arg(deviceLabel(device.settings),
                                                  flashing ? QStringLiteral("flashing") : QStringLiteral("off"));
    if (!why.isEmpty())
        line += QLatin1String(": ") + why;
    emit report(line);
}

void Simulator::takeWrite(PlayedDevice &device, const Frame::WriteValues &write)
{
    QList<QByteArray> otherMacs;
    for (const auto &other : m_devices) {
        if (other->settings.mac == device.settings.mac) // itself, or its impersonator
            continue;
        otherMacs.append(other->settings.mac);
        if (other->pending)
            otherMacs.append(other->pending->mac);
    }
    const WriteDecision decision = checkWrite(device.settings, write, otherMacs);
    if (!decision.updated) {
        emit report(QStringLiteral("write %1 refused: %2").arg(deviceLabel(device.settings), decision.refusal));
        return;
    }
    device.pending = decision.updated;
    device.ledTimeout.stop();
    setFlashing(device, false, QStringLiteral("restarting"));
    if (device.settings.restartDelayMs > 0) {
        device.restartDelay.start(device.settings.restartDelayMs);
        emit report(QStringLiteral("write %1 accepted: answering with the old settings for %2 ms, then restarting "
                                   "for %3 ms as %4")
                        .arg(deviceLabel(device.settings), QString::number(device.settings.restartDelayMs),
                             QString::number(m_options.restartMs), deviceSummary(*decision.updated)));
        return;
    }
    device.restart.start(m_options.restartMs);
    emit report(QStringLiteral("write %1 accepted: restarting for %2 ms as %3")
                    .arg(deviceLabel(device.settings), QString::number(m_options.restartMs),
                         deviceSummary(*decision.updated)));
}

void Simulator::finishRestart(PlayedDevice &device)
{
    device.settings = *device.pending;
    device.pending.reset();
    emit report(QLatin1String("restarted ") + deviceSummary(device.settings));
}

bool Simulator::cameByBroadcast(const QNetworkDatagram &datagram, const PlayedDevice &device) const
{
    const quint32 destination = datagram.destinationAddress().toIPv4Address();
    const AddressCheck::Settings &net = device.settings.net;
    return destination == 0xFFFFFFFFu || destination == (net.ip | ~net.mask);
}

Simulator::PlayedDevice *Simulator::deviceAt(const QHostAddress &address)
{
    bool isIPv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIPv4);
    for (const auto &device : m_devices) {
        if (isIPv4 && device->settings.net.ip == ipv4)
            return device.get();
    }
    return nullptr;
}

QList<Simulator::PlayedDevice *> Simulator::devicesWithMac(const QByteArray &mac)
{
    QList<PlayedDevice *> named;
    for (const auto &device : m_devices) {
        if (device->settings.mac == mac)
            named.append(device.get());
    }
    return named;
}

} // namespace DevSim
