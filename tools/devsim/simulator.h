#pragma once

#include "simdevice.h"
#include "toolframe.h"

#include <QHostAddress>
#include <QObject>
#include <QRandomGenerator>

#include <memory>
#include <optional>
#include <vector>

class QNetworkDatagram;
class QTimer;
class QUdpSocket;

namespace DevSim {

struct SimulatorOptions
{
    QHostAddress bindAddress{QHostAddress::AnyIPv4}; // broadcasts only reach a socket bound to any address
    int restartMs = 2000;    // how long a device stays silent after taking new settings
    int ledTimeoutMs = 3000; // a flashing device stops by itself when no flash command came for this long
    int junkPerSearch = 0;   // malformed datagrams sent along with the replies to each search
    double dropRate = 0;     // the share of replies lost on the way, at random
    quint32 seed = 1;        // of the random losses: the same seed loses the same replies
    int replyDelayMs = 0;    // how long the devices take to answer a search
};

// Plays a set of devices on one UDP socket: answers searches with one reply per device, switches a
// device's LEDs on LED frames, and takes new settings from write frames after a simulated restart.
// Devices may be at any address, inside the tool's subnet or not: frames that name a device's MAC
// reach it when sent to its address or by broadcast (unless it ignores broadcast commands).
// Everything it does, and every datagram it refuses, is announced through report().
class Simulator : public QObject
{
    Q_OBJECT

public:
    Simulator(const QList<SimDevice> &devices, const SimulatorOptions &options, QObject *parent = nullptr);
    ~Simulator() override;

    // Binds the socket (not shared: one simulator per address); on failure the reason.
    std::optional<QString> start();

    // The devices with their present settings, in the order given.
    QList<SimDevice> devices() const;
    bool isFlashing(int device) const;
    bool isRestarting(int device) const;

signals:
    void report(const QString &line);

private:
    struct PlayedDevice;

    void readPendingDatagrams();
    void handleDatagram(const QNetworkDatagram &datagram);
    void answerSearch(const QHostAddress &searcher);
    bool cameByBroadcast(const QNetworkDatagram &datagram, const PlayedDevice &device) const;
    void actOn(PlayedDevice *device, const ToolCommand &command, const QNetworkDatagram &datagram, const QString &from);
    void switchLed(PlayedDevice &device, Frame::LedCommand command);
    void setFlashing(PlayedDevice &device, bool flashing, const QString &why);
    void takeWrite(PlayedDevice &device, const Frame::WriteValues &write);
    void finishRestart(PlayedDevice &device);
    QList<PlayedDevice *> devicesWithMac(const QByteArray &mac);
    // The device whose present address this is, if any: frames sent elsewhere (the simulator's own
    // address, a broadcast) go by the target MAC alone.
    PlayedDevice *deviceAt(const QHostAddress &address);

    SimulatorOptions m_options;
    QUdpSocket *m_socket;
    std::vector<std::unique_ptr<PlayedDevice>> m_devices;
    int m_junkSent = 0;
    QRandomGenerator m_random;
};

} // namespace DevSim
