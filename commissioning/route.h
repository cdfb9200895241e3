#pragma once

#include "adapters.h"

#include <QHostAddress>
#include <QList>

#include <optional>

// How a frame reaches one device. A device whose address lies in the subnet of the adapter it
// answered on is reached by unicast to that address. Any other device (a factory-default
// address, a device moved from another plant) cannot be: the frame would go to a router and be
// lost. Its frames go as a broadcast to 255.255.255.255 out of the adapter it answered on, and
// the device acts on them because they name its MAC. Every frame is pinned to its adapter, so that
// it leaves by the cable the device is on whatever the routing table says.
namespace DeviceRoute {

struct Route
{
    QHostAddress destination;
    int interfaceIndex = 0;
    QString adapterName;
    bool broadcast = false;

    QString describe() const; // "unicast to 198.18.0.10 on eth1", "broadcast on eth1"
};

// The search goes out of every adapter as a broadcast pinned to it.
Route search(const Adapters::Adapter &adapter);

// For a device at `ip` that answered on the adapters of these interface indexes (first answer
// first): unicast on the first of them whose subnet holds the address as a host other than the
// adapter itself, otherwise a broadcast on the first of them. Nothing when it answered on none of the adapters.
std::optional<Route> toDevice(quint32 ip, const QList<int> &answeredOn, const QList<Adapters::Adapter> &adapters);

} // namespace DeviceRoute
