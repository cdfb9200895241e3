#include "hostnetwork.h"

#include <QNetworkInterface>

AddressCheck::Context hostNetworkContext()
{
    AddressCheck::Context context;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const QNetworkInterface::InterfaceFlags flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry &entry : interface.addressEntries()) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            context.ownAddresses.append(entry.ip().toIPv4Address());
            context.ownSubnets.append({entry.ip().toIPv4Address(), entry.prefixLength()});
        }
    }
    return context;
}
