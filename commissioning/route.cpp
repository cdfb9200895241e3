#include "route.h"

#include "protocol/addresscheck.h"

#include <algorithm>

namespace DeviceRoute {

namespace {

// A unicast reaches the device only at a host address of the adapter's subnet that is not the
// adapter's own: a device that holds this machine's address, or the subnet's network or broadcast
// address, is reached by the frames that name its MAC, like a device outside the subnet.
bool reachesByUnicast(const Adapters::Adapter &adapter, quint32 ip)
{
    return std::any_of(adapter.addresses.cbegin(), adapter.addresses.cend(), [ip](const Adapters::Address &own) {
        const quint32 mask = AddressCheck::maskOfPrefix(own.prefixLength);
        return (own.ip & mask) == (ip & mask) && ip != own.ip && !AddressCheck::isSubnetEnd(ip, mask);
    });
}

} // namespace

QString Route::describe() const
{
    if (broadcast && sharedAddress)
        return QStringLiteral("broadcast on %1, its address being shared with another device").arg(adapterName);
    if (broadcast)
        return QStringLiteral("broadcast on %1").arg(adapterName);
    return QStringLiteral("unicast to %1 on %2").arg(destination.toString(), adapterName);
}

std::optional<Route> toDevice(quint32 ip, const QList<int> &answeredOn, const QList<Adapters::Adapter> &adapters,
                              bool addressShared)
{
    const Adapters::Adapter *first = nullptr;
    for (int index : answeredOn) {
        const Adapters::Adapter *adapter = Adapters::findByIndex(adapters, index);
        if (!adapter)
            continue;
        if (!addressShared && reachesByUnicast(*adapter, ip))
            return Route{QHostAddress(ip), adapter->index, adapter->name, false};
        if (!first)
            first = adapter;
    }
    if (!first)
        return std::nullopt;
    return Route{QHostAddress(QHostAddress::Broadcast), first->index, first->name, true, addressShared};
}

std::optional<Route> toDevice(const FoundDevice &device, const QList<Adapters::Adapter> &adapters)
{
    return toDevice(device.settings().ip, device.interfaces, adapters, device.addressShared);
}

} // namespace DeviceRoute
