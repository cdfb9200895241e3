#include "adapters.h"

#include "protocol/addresscheck.h"
#include "protocol/conversions.h"

#include <QNetworkInterface>

#include <algorithm>

namespace Adapters {

bool Adapter::holds(quint32 ip) const
{
    return std::any_of(addresses.cbegin(), addresses.cend(), [ip](const Address &address) {
        const quint32 mask = AddressCheck::maskOfPrefix(address.prefixLength);
        return (address.ip & mask) == (ip & mask);
    });
}

QString Adapter::addressText() const
{
    QStringList texts;
    for (const Address &address : addresses)
        texts.append(QStringLiteral("%1/%2").arg(ipv4Text(address.ip)).arg(address.prefixLength));
    return texts.join(QLatin1String(", "));
}

namespace {

// Why the candidate cannot reach devices, or nothing when it can.
QString ineligibility(const Candidate &candidate)
{
    if (candidate.loopback)
        return QStringLiteral("loopback");
    if (candidate.pointToPoint)
        return QStringLiteral("point-to-point (a tunnel or VPN has no devices behind it to broadcast to)");
    if (!candidate.up)
        return QStringLiteral("down or without a link");
    if (!candidate.canBroadcast)
        return QStringLiteral("cannot broadcast");
    if (candidate.addresses.isEmpty())
        return QStringLiteral("no IPv4 address");
    if (candidate.index <= 0)
        return QStringLiteral("no interface index");
    return {};
}

} // namespace

Choice choose(const QList<Candidate> &candidates, const QStringList &wanted)
{
    Choice choice;
    for (const QString &name : wanted) {
        const bool exists = std::any_of(candidates.cbegin(), candidates.cend(),
                                        [&name](const Candidate &c) { return c.name == name; });
        if (!exists && !choice.unknown.contains(name))
            choice.unknown.append(name);
    }
    for (const Candidate &candidate : candidates) {
        if (!wanted.isEmpty() && !wanted.contains(candidate.name))
            continue;
        const QString reason = ineligibility(candidate);
        if (reason.isEmpty())
            choice.adapters.append({candidate.name, candidate.index, candidate.addresses});
        else
            choice.skipped.append({candidate.name, reason, candidate.loopback});
    }
    return choice;
}

const Adapter *findByIndex(const QList<Adapter> &adapters, int index)
{
    for (const Adapter &adapter : adapters) {
        if (adapter.index == index)
            return &adapter;
    }
    return nullptr;
}

QString nameOf(const QList<Adapter> &adapters, int index)
{
    const Adapter *adapter = findByIndex(adapters, index);
    return adapter ? adapter->name : QStringLiteral("#%1").arg(index);
}

QList<Candidate> systemCandidates()
{
    QList<Candidate> candidates;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const QNetworkInterface::InterfaceFlags flags = interface.flags();
        Candidate candidate;
        candidate.name = interface.name();
        candidate.index = interface.index();
        candidate.administrativelyUp = flags.testFlag(QNetworkInterface::IsUp);
        candidate.up = candidate.administrativelyUp && flags.testFlag(QNetworkInterface::IsRunning);
        candidate.loopback = flags.testFlag(QNetworkInterface::IsLoopBack);
        candidate.pointToPoint = flags.testFlag(QNetworkInterface::IsPointToPoint);
        candidate.canBroadcast = flags.testFlag(QNetworkInterface::CanBroadcast);
        for (const QNetworkAddressEntry &entry : interface.addressEntries()) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
                candidate.addresses.append({entry.ip().toIPv4Address(), entry.prefixLength()});
        }
        candidates.append(candidate);
    }
    return candidates;
}

} // namespace Adapters
