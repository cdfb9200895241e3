#include "founddevice.h"

#include <algorithm>

bool mergeReply(QList<FoundDevice> &devices, const Frame::DeviceReply &reply, int interfaceIndex, int round)
{
    auto it = std::find_if(devices.begin(), devices.end(),
                           [&reply](const FoundDevice &device) { return device.reply.mac == reply.mac; });
    const bool isNew = it == devices.end();
    if (isNew)
        it = devices.insert(devices.end(), FoundDevice{});
    it->reply = reply;
    if (!it->interfaces.contains(interfaceIndex))
        it->interfaces.append(interfaceIndex);
    if (it->lastRound != round) {
        it->lastRound = round;
        ++it->roundsAnswered;
    }
    return isNew;
}

const FoundDevice *findDevice(const QList<FoundDevice> &devices, const QByteArray &mac)
{
    for (const FoundDevice &device : devices) {
        if (device.reply.mac == mac)
            return &device;
    }
    return nullptr;
}
