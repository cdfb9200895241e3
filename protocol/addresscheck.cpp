#include "addresscheck.h"

#include "conversions.h"

#include <QHostAddress>
#include <QtEndian>

#include <algorithm>

namespace AddressCheck {

namespace {

bool isUnicastHost(quint32 address)
{
    return isUnicastDestination(address) && (address >> 24) != 127;
}

bool isLinkLocal(quint32 address)
{
    return (address >> 16) == 0xA9FE; // 169.254.0.0/16
}

} // namespace

QByteArray settingsBytes(const Settings &settings)
{
    QByteArray bytes(12, Qt::Uninitialized);
    qToBigEndian(settings.ip, bytes.data());
    qToBigEndian(settings.mask, bytes.data() + 4);
    qToBigEndian(settings.gateway, bytes.data() + 8);
    return bytes;
}

Settings settingsFromBytes(const QByteArray &twelveBytes)
{
    if (twelveBytes.size() != 12)
        return {};
    const char *raw = twelveBytes.constData();
    return {qFromBigEndian<quint32>(raw), qFromBigEndian<quint32>(raw + 4), qFromBigEndian<quint32>(raw + 8)};
}

int prefixLength(quint32 mask)
{
    const quint32 hostBits = ~mask;
    if ((hostBits & (hostBits + 1)) != 0)
        return -1;
    int length = 0;
    for (quint32 m = mask; m & 0x80000000u; m <<= 1)
        ++length;
    return length;
}

quint32 maskOfPrefix(int prefixLength)
{
    return prefixLength <= 0 ? 0 : prefixLength >= 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> prefixLength);
}

QList<Finding> check(const QString &ip, const QString &mask, const QString &gateway, const Context &context)
{
    const QHostAddress ipAddress = decimalIPv4Address(ip);
    const QHostAddress maskAddress = decimalIPv4Address(mask);
    const QHostAddress gatewayAddress = decimalIPv4Address(gateway);
    QList<Finding> findings;
    if (ipAddress.isNull())
        findings.append({Rule::IpIncomplete, {}});
    if (maskAddress.isNull())
        findings.append({Rule::MaskIncomplete, {}});
    if (gatewayAddress.isNull())
        findings.append({Rule::GatewayIncomplete, {}});
    if (!findings.isEmpty())
        return findings;
    return check(Settings{ipAddress.toIPv4Address(), maskAddress.toIPv4Address(),
                          gatewayAddress.toIPv4Address()},
                 context);
}

QList<Finding> check(const Settings &settings, const Context &context)
{
    QList<Finding> findings;
    const auto add = [&findings](Rule rule) { findings.append({rule, {}}); };
    const quint32 ip = settings.ip;
    const quint32 mask = settings.mask;
    const quint32 gateway = settings.gateway;
    const int prefix = prefixLength(mask);

    if (prefix < 1)
        add(Rule::MaskInvalid);
    if (!isUnicastHost(ip))
        add(Rule::IpNotUnicast);
    else if (prefix >= 1 && isSubnetEnd(ip, mask))
        add(Rule::IpIsNetworkOrBroadcast);
    if (gateway != 0) {
        if (!isUnicastHost(gateway))
            add(Rule::GatewayNotUnicast);
        else if (prefix >= 1 && (gateway & mask) != (ip & mask))
            add(Rule::GatewayOutsideSubnet);
        else if (prefix >= 1 && isSubnetEnd(gateway, mask))
            add(Rule::GatewayIsNetworkOrBroadcast);
        if (gateway == ip)
            add(Rule::GatewayIsIp);
    }
    for (const KnownDevice &device : context.devices) {
        if (device.address == ip && device.mac != context.deviceMac) {
            findings.append({Rule::IpUsedByAnotherDevice, device});
            break;
        }
    }
    if (context.ownAddresses.contains(ip))
        add(Rule::IpIsThisMachine);
    // Settings that are refused anyway need no second look.
    if (!findings.isEmpty())
        return findings;

    if (prefix >= 31)
        add(Rule::HostRoute);
    if (isLinkLocal(ip))
        add(Rule::LinkLocal);
    // Direct contact needs each side in the other's subnet: the same network under the longer mask.
    const bool onThisMachine = std::any_of(context.ownSubnets.cbegin(), context.ownSubnets.cend(),
                                           [&](const Subnet &subnet) {
                                               const quint32 both = maskOfPrefix(qMax(subnet.prefixLength, prefix));
                                               return (subnet.address & both) == (ip & both);
                                           });
    if (!context.ownSubnets.isEmpty() && !onThisMachine)
        add(Rule::SubnetNotOnThisMachine);
    return findings;
}

bool refuses(const QList<Finding> &findings)
{
    return std::any_of(findings.cbegin(), findings.cend(), [](const Finding &f) { return f.isRefusal(); });
}

bool isReachableDeviceAddress(quint32 address, quint32 mask)
{
    return isUnicastHost(address) && !(prefixLength(mask) >= 1 && isSubnetEnd(address, mask));
}

bool isUnicastDestination(quint32 address)
{
    const quint32 firstOctet = address >> 24;
    return firstOctet != 0 && firstOctet < 224;
}

bool isSubnetEnd(quint32 address, quint32 mask)
{
    // A /31 has no network or broadcast address, a /32 only the host itself.
    return prefixLength(mask) < 31 && ((address & ~mask) == 0 || (address | mask) == 0xFFFFFFFFu);
}

QString settingsText(const Settings &settings)
{
    const int prefix = prefixLength(settings.mask);
    return QStringLiteral("%1/%2 gateway %3")
        .arg(ipv4Text(settings.ip), prefix >= 0 ? QString::number(prefix) : ipv4Text(settings.mask),
             ipv4Text(settings.gateway));
}

QString subnetText(const Settings &settings)
{
    return QStringLiteral("%1/%2").arg(ipv4Text(settings.ip & settings.mask)).arg(prefixLength(settings.mask));
}

QString describe(const Finding &finding, const Settings &settings)
{
    const QString subnet = subnetText(settings);
    switch (finding.rule) {
    case Rule::IpIncomplete:
        return QStringLiteral("the IP address is not a dotted quad such as 192.168.1.10");
    case Rule::MaskIncomplete:
        return QStringLiteral("the subnet mask is not a dotted quad such as 255.255.255.0");
    case Rule::GatewayIncomplete:
        return QStringLiteral("the gateway is not a dotted quad such as 192.168.1.1 (0.0.0.0 for none)");
    case Rule::MaskInvalid:
        return QStringLiteral("subnet mask %1 is not a valid prefix").arg(ipv4Text(settings.mask));
    case Rule::IpNotUnicast:
        return QStringLiteral("IP address %1 is not a host address (0/8, 127/8, multicast or reserved)")
            .arg(ipv4Text(settings.ip));
    case Rule::IpIsNetworkOrBroadcast:
        return QStringLiteral("IP address %1 is the network or broadcast address of %2").arg(ipv4Text(settings.ip), subnet);
    case Rule::GatewayNotUnicast:
        return QStringLiteral("gateway %1 is not a host address (0/8, 127/8, multicast or reserved)")
            .arg(ipv4Text(settings.gateway));
    case Rule::GatewayOutsideSubnet:
        return QStringLiteral("gateway %1 is outside the subnet %2").arg(ipv4Text(settings.gateway), subnet);
    case Rule::GatewayIsNetworkOrBroadcast:
        return QStringLiteral("gateway %1 is the network or broadcast address of %2").arg(ipv4Text(settings.gateway), subnet);
    case Rule::GatewayIsIp:
        return QStringLiteral("gateway %1 is the device's own IP address").arg(ipv4Text(settings.gateway));
    case Rule::IpUsedByAnotherDevice:
        return QStringLiteral("IP address %1 is already used by %2 (%3)")
            .arg(ipv4Text(settings.ip), finding.device.name, macBytesToText(finding.device.mac));
    case Rule::IpIsThisMachine:
        return QStringLiteral("IP address %1 is this computer's own").arg(ipv4Text(settings.ip));
    case Rule::HostRoute:
        return QStringLiteral("subnet mask %1 leaves no room for other hosts").arg(ipv4Text(settings.mask));
    case Rule::LinkLocal:
        return QStringLiteral("IP address %1 is link-local (169.254.0.0/16)").arg(ipv4Text(settings.ip));
    case Rule::SubnetNotOnThisMachine:
        return QStringLiteral("no adapter of this computer is in %1: you will lose direct contact with the device")
            .arg(subnet);
    }
    return {};
}

} // namespace AddressCheck
