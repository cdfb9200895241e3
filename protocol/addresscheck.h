#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The rules that a new IPv4 address, subnet mask and gateway must pass before a write frame may
// go out, and the warnings worth a second look. The detail window and the command-line program
// refuse with the same rules. Pure: the caller hands in what it knows of the network.
namespace AddressCheck {

// IPv4 settings, each in host byte order.
struct Settings
{
    quint32 ip = 0;
    quint32 mask = 0;
    quint32 gateway = 0; // 0.0.0.0: no gateway

    friend bool operator==(const Settings &a, const Settings &b)
    {
        return a.ip == b.ip && a.mask == b.mask && a.gateway == b.gateway;
    }
    friend bool operator!=(const Settings &a, const Settings &b) { return !(a == b); }
};

// The 12 bytes that replies and write frames carry: address, mask, gateway, each most significant
// byte first. Any other number of bytes gives 0.0.0.0 throughout (an accepted reply always has 12).
QByteArray settingsBytes(const Settings &settings);
Settings settingsFromBytes(const QByteArray &twelveBytes);

// A device found by a search or listed in the window.
struct KnownDevice
{
    QByteArray mac; // 6 bytes
    QString name;
    quint32 address = 0;
};

// One of this machine's adapters: its address and prefix length.
struct Subnet
{
    quint32 address = 0;
    int prefixLength = 0;
};

struct Context
{
    QByteArray deviceMac;        // the device being configured: its own entry is no conflict
    QList<KnownDevice> devices;  // the other devices found or listed
    QList<quint32> ownAddresses; // this machine's IPv4 addresses
    QList<Subnet> ownSubnets;    // this machine's adapters; none given, no subnet warning
};

// In the order they are checked and reported; the refusals come first.
enum class Rule {
    IpIncomplete, // a text that is not four decimal groups of 0 to 255
    MaskIncomplete,
    GatewayIncomplete,
    MaskInvalid,                 // not a run of leading ones, or no ones at all
    IpNotUnicast,                // in 0/8, 127/8, 224/4 (multicast) or 240/4
    IpIsNetworkOrBroadcast,      // either end of its subnet (not for /31 and /32)
    GatewayNotUnicast,           // as IpNotUnicast; 0.0.0.0 itself means no gateway
    GatewayOutsideSubnet,
    GatewayIsNetworkOrBroadcast,
    GatewayIsIp,
    IpUsedByAnotherDevice,       // Finding::device holds it
    IpIsThisMachine,
    // Warnings from here on: the settings can work, but deserve a second look.
    HostRoute,                   // a /31 or /32 mask
    LinkLocal,                   // 169.254.0.0/16, normally given by the device itself
    SubnetNotOnThisMachine,      // no adapter of this machine is in the new subnet
};

struct Finding
{
    Rule rule;
    KnownDevice device; // the device that holds the address, for IpUsedByAnotherDevice

    bool isRefusal() const { return rule < Rule::HostRoute; }
};

// The refusals, or when there is none, the warnings. The texts are read as decimalIPv4Address()
// reads them: four decimal groups, leading zeros allowed ("192.168.001.002"); an incomplete text
// gives only the Incomplete findings.
QList<Finding> check(const QString &ip, const QString &mask, const QString &gateway,
                     const Context &context = {});
QList<Finding> check(const Settings &settings, const Context &context = {});

bool refuses(const QList<Finding> &findings);

// True when frames meant for one device may go to this address: a host address (not 0/8,
// loopback, multicast or reserved) that is not, under a valid mask, its subnet's network or
// broadcast address. A device that reports anything else (an unconfigured one reports 0.0.0.0)
// cannot be told apart from this computer, or from every device of its subnet, by its address.
bool isReachableDeviceAddress(quint32 address, quint32 mask);

// True when a frame meant for one device may be sent to this address: not 0/8 (Linux delivers
// 0.0.0.0 to this host), multicast or reserved. Loopback passes, for devices played on this
// computer; a host address (isReachableDeviceAddress) is this without loopback.
bool isUnicastDestination(quint32 address);

// True when the address is its subnet's network or broadcast address under this mask (all host
// bits clear or all set). A /31 or /32 has no such ends; a mask that is no prefix is taken as is.
bool isSubnetEnd(quint32 address, quint32 mask);

// The number of leading ones of a mask, or -1 when its ones are not contiguous.
int prefixLength(quint32 mask);
quint32 maskOfPrefix(int prefixLength);

// "198.18.0.20/16 gateway 198.18.0.254", as the command-line program and the simulator report
// settings; a mask that is no prefix is shown in full.
QString settingsText(const Settings &settings);
// "192.168.1.0/24": the subnet the settings put the device in.
QString subnetText(const Settings &settings);

// One sentence in English, for the command-line program and logs.
QString describe(const Finding &finding, const Settings &settings);

} // namespace AddressCheck
