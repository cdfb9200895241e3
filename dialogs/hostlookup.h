#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

// How the host information dialog names this machine and picks its addresses. Pure functions over
// the lists the platform gives, so the rules can be tried on any list.
namespace HostLookup {

// The machine's name from NAME=value environment entries. Five patterns are tried in order
// ("USERNAME.*", "USER.*", "USERDOMAIN.*", "HOSTNAME.*", "DOMAINNAME.*"), each matched
// case-sensitively against whole entries. Only a pattern's first matching entry counts: split at
// every "=", it gives the name when it has exactly two parts (the value, possibly empty); an entry
// whose value holds a "=" passes over to the next pattern. "unknown" when no pattern gives a name.
QString hostNameFromEnvironment(const QStringList &environment);

// The text form of the first IPv4 address in the list, or an empty text when there is none.
QString firstIpv4Address(const QList<QHostAddress> &addresses);

// The hardware address text of the first interface, or an empty text when there is none.
QString firstHardwareAddress(const QStringList &hardwareAddresses);

} // namespace HostLookup
