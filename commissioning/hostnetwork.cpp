#include "hostnetwork.h"

namespace {

void addOwn(AddressCheck::Context &context, const QList<Adapters::Address> &addresses)
{
    for (const Adapters::Address &address : addresses) {
        context.ownAddresses.append(address.ip);
        context.ownSubnets.append({address.ip, address.prefixLength});
    }
}

} // namespace

AddressCheck::Context hostNetworkContext(const QList<Adapters::Candidate> &candidates)
{
    AddressCheck::Context context;
    for (const Adapters::Candidate &candidate : candidates) {
        if (candidate.administrativelyUp && !candidate.loopback)
            addOwn(context, candidate.addresses);
    }
    return context;
}

AddressCheck::Context hostNetworkContext()
{
    return hostNetworkContext(Adapters::systemCandidates());
}

AddressCheck::Context searchContext(const QList<FoundDevice> &found, const QList<Adapters::Adapter> &adapters)
{
    AddressCheck::Context context;
    for (const FoundDevice &device : found)
        context.devices.append({device.reply.mac, QString::fromLatin1(device.reply.name), device.settings().ip});
    for (const Adapters::Adapter &adapter : adapters)
        addOwn(context, adapter.addresses);
    return context;
}
