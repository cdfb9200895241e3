// libFuzzer target: the address checks over the three texts a user types (IP address, subnet mask,
// gateway: the input's first three lines). The findings come in their order, refusals or warnings
// but never both; and settings let through without a second look must be settings that a careful
// device (the simulator's) takes, or the tool would send a write that the device refuses.

#include "protocol/addresscheck.h"
#include "protocol/conversions.h"
#include "simdevice.h"

#include <QHostAddress>

#include <algorithm>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QStringList lines = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size))
                                  .split(u'\n');
    const QString ip = lines.value(0), mask = lines.value(1), gateway = lines.value(2);
    // The device being set, another one at 198.18.0.20, and this machine at 198.18.0.1/24.
    const AddressCheck::Context context{QByteArray::fromHex("024B56000001"),
                                        {{QByteArray::fromHex("024B56000002"), QStringLiteral("OTHER-PLC"), 0xC6120014u}},
                                        {0xC6120001u}, {{0xC6120001u, 24}}};
    const QList<AddressCheck::Finding> findings = AddressCheck::check(ip, mask, gateway, context);

    const AddressCheck::Settings settings{decimalIPv4Address(ip).toIPv4Address(),
                                          decimalIPv4Address(mask).toIPv4Address(),
                                          decimalIPv4Address(gateway).toIPv4Address()};
    for (qsizetype i = 0; i < findings.size(); ++i) {
        if ((i > 0 && findings.at(i - 1).rule >= findings.at(i).rule)
            || findings.at(i).isRefusal() != findings.first().isRefusal())
            __builtin_trap();
        AddressCheck::describe(findings.at(i), settings);
    }
    if (AddressCheck::refuses(findings) || settings.gateway == 0)
        return 0;
    const bool hostRoute = std::any_of(findings.cbegin(), findings.cend(), [](const AddressCheck::Finding &f) {
        return f.rule == AddressCheck::Rule::HostRoute;
    });
    if (!hostRoute && DevSim::netConfigProblem({settings.ip, settings.mask, settings.gateway}))
        __builtin_trap();
    return 0;
}
