#include "founddevice.h"

#include <QHash>

#include <algorithm>

bool mergeReply(QList<FoundDevice> &devices, const Frame::DeviceReply &reply, int interfaceIndex, int round)
{
    auto it = std::find_if(devices.begin(), devices.end(),
                           [&reply](const FoundDevice &device) { return device.reply.mac == reply.mac; });
    const bool isNew = it == devices.end();
    if (isNew)
        it = devices.insert(devices.end(), FoundDevice{});
    it->reply = reply;
    const AddressCheck::Settings settings = it->settings();
    if (it->settingsHeard.size() < FoundDevice::MaxSettingsHeard && !it->settingsHeard.contains(settings))
        it->settingsHeard.append(settings);
    if (!it->interfaces.contains(interfaceIndex))
        it->interfaces.append(interfaceIndex);
    if (it->lastRound != round) {
        it->lastRound = round;
        ++it->roundsAnswered;
    }
    return isNew;
}

bool shareAddress(quint32 ip, const QList<int> &interfaces, quint32 otherIp, const QList<int> &otherInterfaces)
{
    return ip == otherIp && std::any_of(otherInterfaces.cbegin(), otherInterfaces.cend(),
                                        [&](int index) { return interfaces.contains(index); });
}

void markSharedAddresses(QList<FoundDevice> &devices)
{
    QHash<quint32, QList<int>> holders; // the devices at each address
    for (int i = 0; i < devices.size(); ++i)
        holders[devices[i].settings().ip].append(i);
    for (int i = 0; i < devices.size(); ++i) {
        FoundDevice &device = devices[i];
        const QList<int> atAddress = holders.value(device.settings().ip);
        device.addressShared = std::any_of(atAddress.cbegin(), atAddress.cend(), [&](int other) {
            return other != i && shareAddress(device.settings().ip, device.interfaces, devices[other].settings().ip,
                                              devices[other].interfaces);
        });
    }
}

const FoundDevice *findDevice(const QList<FoundDevice> &devices, const QByteArray &mac)
{
    for (const FoundDevice &device : devices) {
        if (device.reply.mac == mac)
            return &device;
    }
    return nullptr;
}
