#include "simulator.h"

#include "protocol/conversions.h"

#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>

namespace DevSim {

struct Simulator::PlayedDevice
{
    SimDevice settings;
    std::optional<SimDevice> pending; // settings that take effect when the restart is over
    bool flashing = false;
    quint32 frameSeq = 0;
    QTimer ledTimeout;
    QTimer restart;
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

} // namespace

Simulator::Simulator(const QList<SimDevice> &devices, const SimulatorOptions &options, QObject *parent)
    : QObject(parent), m_options(options), m_socket(new QUdpSocket(this)), m_random(options.seed)
{
    for (const SimDevice &settings : devices) {
        auto device = std::make_unique<PlayedDevice>();
        device->settings = settings;
        device->ledTimeout.setSingleShot(true);
        device->restart.setSingleShot(true);
        PlayedDevice *played = device.get();
        connect(&played->ledTimeout, &QTimer::timeout, this, [this, played] {
            setFlashing(*played, false,
                        QStringLiteral("no flash command for %1 ms").arg(m_options.ledTimeoutMs));
        });
        connect(&played->restart, &QTimer::timeout, this, [this, played] { finishRestart(*played); });
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
    return m_devices.at(size_t(device))->restart.isActive();
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

    PlayedDevice *device = deviceWithMac(command.targetMac);
    if (!device) {
        emit report(QStringLiteral("ignored %1 frame from %2: target MAC %3 is none of ours")
                        .arg(commandName(command.kind), from, macBytesToText(command.targetMac)));
        return;
    }
    // A device hears only what is sent to its own address: a frame sent to one device's address
    // with another device's MAC (the tool's current row changed meanwhile) reaches nobody.
    const PlayedDevice *addressee = deviceAt(datagram.destinationAddress());
    if (addressee && addressee != device) {
        emit report(QStringLiteral("ignored %1 frame from %2: sent to %3, the address of %4, not of %5")
                        .arg(commandName(command.kind), from, datagram.destinationAddress().toString(),
                             deviceLabel(addressee->settings), deviceLabel(device->settings)));
        return;
    }
    if (device->settings.ignoresBroadcast && cameByBroadcast(datagram, *device)) {
        emit report(QStringLiteral("ignored %1 frame from %2: sent by broadcast, which %3 ignores")
                        .arg(commandName(command.kind), from, deviceLabel(device->settings)));
        return;
    }
    if (device->restart.isActive()) {
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
    const auto send = [&](const QByteArray &datagram) {
        if (m_socket->writeDatagram(datagram, searcher, Frame::DevicePort) == datagram.size())
            return true;
        if (failed++ == 0)
            firstFailure = m_socket->errorString();
        return false;
    };

    for (int i = 0; i < deviceCount; ++i) {
        PlayedDevice &device = *m_devices[size_t(i)];
        if (device.restart.isActive()) {
            ++restarting; // silent until the restart is over
        } else if (m_options.dropRate > 0 && m_random.generateDouble() < m_options.dropRate) {
            ++lost;
        } else if (send(Frame::encodeReply(device.settings.typeCode, replyFields(device.settings),
                                           device.frameSeq++))) {
            ++answered;
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
        if (other.get() == &device)
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

const Simulator::PlayedDevice *Simulator::deviceAt(const QHostAddress &address) const
{
    bool isIPv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIPv4);
    for (const auto &device : m_devices) {
        if (isIPv4 && device->settings.net.ip == ipv4)
            return device.get();
    }
    return nullptr;
}

Simulator::PlayedDevice *Simulator::deviceWithMac(const QByteArray &mac)
{
    for (const auto &device : m_devices) {
        if (device->settings.mac == mac)
            return device.get();
    }
    return nullptr;
}

} // namespace DevSim
