#pragma once

#include "protocol/addresscheck.h"
#include "protocol/frame.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The devices the simulator plays: their settings, the checks a careful device makes before it
// takes new settings, and the loading of a device list from JSON or from command-line options.
namespace DevSim {

// IPv4 settings as a device keeps them, each in host byte order.
using NetConfig = AddressCheck::Settings;

struct SimDevice
{
    quint8 typeCode = 1;   // header byte 7 of its replies: 1 PLC, 2 HMI, 3 SERVO, 4 VFD
    QByteArray name;       // 6 to 16 printable ASCII characters
    QByteArray mac;        // 6 bytes, unicast
    NetConfig net;
    QByteArray version;    // null when the device reports no version
    QByteArray points;     // null when the device reports no I/O points
    bool ignoresBroadcast = false; // acts only on LED and write frames sent to its own address
    // What a real device should never do, and a second responder on the segment may:
    std::optional<quint32> secondIp;    // answers every search twice, the second time as if at this address
    std::optional<quint32> answersFrom; // sends its replies from this address rather than its own
    bool impersonates = false;          // answers in the name of another device with the same MAC
    int restartDelayMs = 0;             // after taking a write, answers with its old settings this long before it restarts
};

// Each returns why a device could not take the value, or nothing when it can.
std::optional<QString> netConfigProblem(const NetConfig &net);
std::optional<QString> nameProblem(const QByteArray &name);
std::optional<QString> macProblem(const QByteArray &mac);

// The fields of the device's reply to a search.
Frame::DeviceReply replyFields(const SimDevice &device);

QString deviceLabel(const SimDevice &device);       // "\"FILLER-PLC\" 02:4B:56:00:00:01"
QString deviceSummary(const SimDevice &device);     // type, label, settings, version, points

struct DeviceList
{
    QList<SimDevice> devices;
    QString error; // empty when the list is usable

    bool ok() const { return error.isEmpty(); }
};

// {"devices": [{"type": "PLC", "name": ..., "mac": ..., "ip": ..., "mask": ..., "gateway": ...,
// "version": "3.1.4", "points": "24.16", "ignores-broadcast": true}, ...]}; "type" may also be a
// number 0 to 255, "version" and "points" are optional dotted byte lists, "ignores-broadcast" is
// optional (true or false), and so are "second-ip", "answers-from" (dotted quads),
// "impersonates" (true or false) and "restart-delay-ms" (0 to 600000). Every device must be
// usable as it is, with a MAC of its own unless it, or the other device with its MAC, impersonates.
DeviceList devicesFromJson(const QByteArray &json);

// The same keys as "key=value" pairs joined by ',': "type=PLC,name=PRESS-PLC01,mac=...".
DeviceList devicesFromOptions(const QStringList &options);

// `count` (1 to 1000) devices for load tests: types PLC, HMI, SERVO, VFD in turn, names
// "GEN-PLC-0001" and on, MACs 02:4B:56:F0:00:01 and on, addresses 198.18.1.1 and on in 198.18.0.0/16.
QList<SimDevice> generatedDevices(int count);

} // namespace DevSim
