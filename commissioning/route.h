#pragma once

#include "adapters.h"
#include "founddevice.h"

#include <QHostAddress>
#include <QList>

#include <optional>

// How a frame reaches one device. A device whose address lies in the subnet of the adapter it
// answered on is reached by unicast to that address. Any other device (a factory-default
// address, a device moved from another plant) cannot be: the frame would go to a router and be
// lost. Its frames go as a broadcast to 255.255.255.255 out of the adapter it answered on, and
// the device acts on them because they name its MAC. So do the frames for a device whose address
// another device found in the same search also holds (two new devices with one factory default):
// a unicast to that address reaches only one of them, and not necessarily the one it names. Every
// frame is pinned to its adapter, so that it leaves by the cable the device is on whatever the
// routing table says.
namespace DeviceRoute {

struct Route
{
    QHostAddress destination;
    int interfaceIndex = 0;
    QString adapterName;
    bool broadcast = false;
    bool sharedAddress = false; // broadcast because another device holds the same address

    // "unicast to 198.18.0.10 on eth1", "broadcast on eth1",
    // "broadcast on eth1, its address being shared with another device"
    QString describe() const;
};

// For a device at `ip` that answered on the adapters of these interface indexes (first answer
// first): unicast on the first of them whose subnet holds the address as a host other than the
// adapter itself, unless another device holds the address too; otherwise a broadcast on the first
// of them. Nothing when it answered on none of the adapters.
std::optional<Route> toDevice(quint32 ip, const QList<int> &answeredOn, const QList<Adapters::Adapter> &adapters,
                              bool addressShared = false);

// The same for a device as a search found it (FoundDevice::addressShared: only a search for every
// device knows the others).
std::optional<Route> toDevice(const FoundDevice &device, const QList<Adapters::Adapter> &adapters);

} // namespace DeviceRoute
