#include "survey.h"

#include "commissioning/hostnetwork.h"
#include "commissioning/route.h"

namespace Cli::Survey {

namespace {

// A MAC is one device's: heard on two adapters, or with two sets of settings, it is two devices,
// or something answering in the name of one.
QStringList answersOfOneMac(const FoundDevice &device, const QList<Adapters::Adapter> &adapters)
{
    QStringList texts;
    if (device.interfaces.size() > 1) {
        QStringList names;
        for (int index : device.interfaces)
            names.append(Adapters::nameOf(adapters, index));
        texts.append(QStringLiteral("its MAC answered on %1 adapters (%2): two devices with one MAC, or another "
                                    "answering in its name")
                         .arg(names.size())
                         .arg(names.join(QLatin1String(", "))));
    }
    if (device.settingsHeard.size() > 1) {
        QStringList sets;
        for (const AddressCheck::Settings &settings : device.settingsHeard)
            sets.append(AddressCheck::settingsText(settings));
        texts.append(QStringLiteral("its MAC answered with %1%2 sets of settings (%3): two devices with one MAC, or "
                                    "another answering in its name")
                         .arg(device.settingsHeard.size() == FoundDevice::MaxSettingsHeard ? QStringLiteral("at least ")
                                                                                           : QString())
                         .arg(device.settingsHeard.size())
                         .arg(sets.join(QLatin1String("; "))));
    }
    return texts;
}

} // namespace

QList<QStringList> findings(const QList<FoundDevice> &devices, const QList<Adapters::Adapter> &adapters)
{
    AddressCheck::Context context = searchContext(devices, adapters);
    // The settings a device has already are not a move away from this machine: no subnet warning.
    context.ownSubnets.clear();

    QList<QStringList> all;
    for (qsizetype i = 0; i < devices.size(); ++i) {
        const FoundDevice &device = devices[i];
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
        } else if (route && device.addressShared) {
            texts.append(QStringLiteral("its address is shared with another device on %1: LED and write frames reach "
                                        "it by broadcast")
                             .arg(route->adapterName));
        }
        texts += answersOfOneMac(device, adapters);
        all.append(texts);
    }
    return all;
}

} // namespace Cli::Survey
