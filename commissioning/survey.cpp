#include "survey.h"

#include "route.h"

namespace Survey {

QList<QStringList> findings(const QList<FoundDevice> &devices, const QList<Adapters::Adapter> &adapters)
{
    AddressCheck::Context context;
    for (const FoundDevice &device : devices)
        context.devices.append({device.reply.mac, QString::fromLatin1(device.reply.name), device.settings().ip});
    for (const Adapters::Adapter &adapter : adapters) {
        for (const Adapters::Address &address : adapter.addresses)
            context.ownAddresses.append(address.ip);
    }

    QList<QStringList> all;
    for (const FoundDevice &device : devices) {
        QStringList texts;
        const AddressCheck::Settings settings = device.settings();
        context.deviceMac = device.reply.mac;
        for (const AddressCheck::Finding &finding : AddressCheck::check(settings, context))
            texts.append(AddressCheck::describe(finding, settings));
        const std::optional<DeviceRoute::Route> route = DeviceRoute::toDevice(settings.ip, device.interfaces, adapters);
        if (route && route->broadcast) {
            const Adapters::Adapter *adapter = Adapters::findByIndex(adapters, route->interfaceIndex);
            texts.append(QStringLiteral("outside the subnet of %1 (%2): LED and write frames reach it by broadcast")
                             .arg(route->adapterName, adapter ? adapter->addressText() : QString()));
        }
        all.append(texts);
    }
    return all;
}

} // namespace Survey
