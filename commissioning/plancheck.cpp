#include "plancheck.h"

#include "protocol/conversions.h"

#include <QHostAddress>

#include <algorithm>

namespace PlanCheck {

namespace {

AddressCheck::Context contextFor(const QByteArray &mac, const QList<FoundDevice> &found,
                                 const QList<Adapters::Adapter> &adapters)
{
    AddressCheck::Context context;
    context.deviceMac = mac;
    for (const FoundDevice &device : found)
        context.devices.append({device.reply.mac, QString::fromLatin1(device.reply.name), device.settings().ip});
    for (const Adapters::Adapter &adapter : adapters) {
        for (const Adapters::Address &address : adapter.addresses) {
            context.ownAddresses.append(address.ip);
            context.ownSubnets.append({address.ip, address.prefixLength});
        }
    }
    return context;
}

} // namespace

QList<RowCheck> check(const QList<PlanFile::Row> &rows, const QList<FoundDevice> &found,
                      const QList<Adapters::Adapter> &adapters)
{
    QList<RowCheck> checks;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const PlanFile::Row &row = rows.at(i);
        RowCheck result;
        // A repeated MAC or IP address is refused once, on the later row.
        for (qsizetype j = 0; j < i; ++j) {
            const PlanFile::Row &earlier = rows.at(j);
            if (earlier.mac == row.mac)
                result.refusals.append(QStringLiteral("MAC %1 is already on line %2").arg(macBytesToText(row.mac)).arg(earlier.line));
            else if (earlier.settings.ip == row.settings.ip)
                result.refusals.append(QStringLiteral("IP address %1 is already given to %2 on line %3")
                                           .arg(QHostAddress(row.settings.ip).toString(), macBytesToText(earlier.mac))
                                           .arg(earlier.line));
        }

        const FoundDevice *device = findDevice(found, row.mac);
        const bool alreadyCorrect = device && device->settings() == row.settings;
        // Nothing is sent for a device that has its settings already: only the plan itself counts.
        if (!alreadyCorrect) {
            const QList<AddressCheck::Finding> findings =
                AddressCheck::check(row.settings, contextFor(row.mac, found, adapters));
            for (const AddressCheck::Finding &finding : findings)
                (finding.isRefusal() ? result.refusals : result.warnings)
                    .append(AddressCheck::describe(finding, row.settings));
        }

        if (!result.refusals.isEmpty())
            result.verdict = Verdict::Refused;
        else if (alreadyCorrect)
            result.verdict = Verdict::AlreadyCorrect;
        else if (!device)
            result.verdict = Verdict::NotFound;
        checks.append(result);
    }
    return checks;
}

bool refusesAny(const QList<RowCheck> &checks)
{
    return std::any_of(checks.cbegin(), checks.cend(),
                       [](const RowCheck &check) { return check.verdict == Verdict::Refused; });
}

} // namespace PlanCheck
