// libFuzzer target: a device file handed to the simulator. Whatever it holds, the simulator either
// refuses it with a reason or plays devices that are each usable, with a MAC of their own.

#include "simdevice.h"

#include <QSet>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray json = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const DevSim::DeviceList list = DevSim::devicesFromJson(json);
    if (!list.ok()) {
        if (!list.devices.isEmpty())
            __builtin_trap();
        return 0;
    }
    QSet<QByteArray> macs;
    for (const DevSim::SimDevice &device : list.devices) {
        if (DevSim::nameProblem(device.name) || DevSim::macProblem(device.mac)
            || DevSim::netConfigProblem(device.net) || macs.contains(device.mac))
            __builtin_trap();
        macs.insert(device.mac);
        DevSim::deviceSummary(device);
    }
    return 0;
}
