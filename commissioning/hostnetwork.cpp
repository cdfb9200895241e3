#include "hostnetwork.h"

AddressCheck::Context hostNetworkContext(const QList<Adapters::Candidate> &candidates)
{
    AddressCheck::Context context;
    for (const Adapters::Candidate &candidate : candidates) {
        if (!candidate.administrativelyUp || candidate.loopback)
            continue;
        for (const Adapters::Address &address : candidate.addresses) {
            context.ownAddresses.append(address.ip);
            context.ownSubnets.append({address.ip, address.prefixLength});
        }
    }
    return context;
}

AddressCheck::Context hostNetworkContext()
{
    return hostNetworkContext(Adapters::systemCandidates());
}
