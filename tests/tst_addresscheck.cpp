#include "protocol/addresscheck.h"
#include "support/testsupport.h"

#include <QHostAddress>
#include <QTest>

using AddressCheck::Rule;

namespace {

quint32 ip(const char *text)
{
    return QHostAddress(QString::fromLatin1(text)).toIPv4Address();
}

// Another device at 192.168.1.20, this machine at 192.168.1.5/24; the device configured is 02:..:01.
AddressCheck::Context plantContext()
{
    AddressCheck::Context context;
    context.deviceMac = kvrtest::hex("024B56100001");
    context.devices = {{kvrtest::hex("024B56100001"), QStringLiteral("SELF-PLC"), ip("192.168.1.10")},
                       {kvrtest::hex("024B56100002"), QStringLiteral("OTHER-PLC"), ip("192.168.1.20")}};
    context.ownAddresses = {ip("192.168.1.5")};
    context.ownSubnets = {{ip("192.168.1.5"), 24}};
    return context;
}

} // namespace

class TestAddressCheck : public QObject
{
    Q_OBJECT

private slots:
    void findings_data();
    void findings();
};

void TestAddressCheck::findings_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<QList<Rule>>("expected");

    const auto row = [](const char *name, const char *ip, const char *mask, const char *gateway,
                        QList<Rule> rules) {
        QTest::newRow(name) << QString::fromLatin1(ip) << QString::fromLatin1(mask)
                            << QString::fromLatin1(gateway) << rules;
    };
    row("valid", "192.168.1.30", "255.255.255.0", "192.168.1.1", {});
    row("valid, zero-padded as the sample row", "192.168.001.030", "255.255.255.000", "192.168.001.001", {});
    row("no gateway", "192.168.1.30", "255.255.255.0", "0.0.0.0", {});
    row("its own present address", "192.168.1.10", "255.255.255.0", "192.168.1.1", {});
    row("incomplete texts", "192.168.1.", "255.255.255.0", "192.168.1.1\n",
        {Rule::IpIncomplete, Rule::GatewayIncomplete});
    row("group above 255", "192.168.1.256", "255.255.255.0", "192.168.1.1", {Rule::IpIncomplete});
    row("mask with a hole", "192.168.1.30", "255.0.255.0", "0.0.0.0", {Rule::MaskInvalid});
    row("mask of no ones", "192.168.1.30", "0.0.0.0", "0.0.0.0", {Rule::MaskInvalid});
    row("network address", "192.168.1.0", "255.255.255.0", "192.168.1.1", {Rule::IpIsNetworkOrBroadcast});
    row("broadcast address", "192.168.1.255", "255.255.255.0", "192.168.1.1", {Rule::IpIsNetworkOrBroadcast});
    row("broadcast of a /20", "10.0.15.255", "255.255.240.0", "0.0.0.0", {Rule::IpIsNetworkOrBroadcast});
    row("all ones", "255.255.255.255", "255.255.255.0", "0.0.0.0", {Rule::IpNotUnicast});
    row("loopback", "127.0.0.5", "255.0.0.0", "0.0.0.0", {Rule::IpNotUnicast});
    row("0/8", "0.1.2.3", "255.255.255.0", "0.0.0.0", {Rule::IpNotUnicast});
    row("multicast", "224.0.0.10", "255.255.255.0", "0.0.0.0", {Rule::IpNotUnicast});
    row("reserved 240/4", "240.0.0.1", "255.255.255.0", "0.0.0.0", {Rule::IpNotUnicast});
    row("gateway outside", "192.168.1.30", "255.255.255.0", "192.168.2.1", {Rule::GatewayOutsideSubnet});
    row("gateway is the broadcast", "192.168.1.30", "255.255.255.0", "192.168.1.255",
        {Rule::GatewayIsNetworkOrBroadcast});
    row("gateway multicast", "192.168.1.30", "255.255.255.0", "239.1.1.1", {Rule::GatewayNotUnicast});
    row("gateway is the IP", "192.168.1.30", "255.255.255.0", "192.168.1.30", {Rule::GatewayIsIp});
    row("another device's IP", "192.168.1.20", "255.255.255.0", "192.168.1.1", {Rule::IpUsedByAnotherDevice});
    row("this machine's IP", "192.168.1.5", "255.255.255.0", "192.168.1.1", {Rule::IpIsThisMachine});
    row("/31 warns only", "192.168.1.4", "255.255.255.254", "0.0.0.0", {Rule::HostRoute});
    row("/32 warns only", "192.168.1.30", "255.255.255.255", "0.0.0.0",
        {Rule::HostRoute, Rule::SubnetNotOnThisMachine});
    row("link-local warns", "169.254.3.4", "255.255.0.0", "0.0.0.0", {Rule::LinkLocal, Rule::SubnetNotOnThisMachine});
    row("other subnet warns", "10.1.2.3", "255.255.255.0", "10.1.2.1", {Rule::SubnetNotOnThisMachine});
    row("wider subnet holding this machine", "192.168.1.30", "255.255.0.0", "0.0.0.0", {});
    row("narrower subnet without this machine", "192.168.1.130", "255.255.255.128", "0.0.0.0",
        {Rule::SubnetNotOnThisMachine});
}

void TestAddressCheck::findings()
{
    QFETCH(QString, ip);
    QFETCH(QString, mask);
    QFETCH(QString, gateway);
    QFETCH(QList<Rule>, expected);

    const QList<AddressCheck::Finding> findings = AddressCheck::check(ip, mask, gateway, plantContext());
    QList<Rule> rules;
    for (const AddressCheck::Finding &finding : findings)
        rules.append(finding.rule);
    QCOMPARE(rules, expected);
    const bool refused = std::any_of(expected.cbegin(), expected.cend(), [](Rule r) { return r < Rule::HostRoute; });
    QCOMPARE(AddressCheck::refuses(findings), refused);
    if (expected.contains(Rule::IpUsedByAnotherDevice))
        QCOMPARE(findings.first().device.name, QStringLiteral("OTHER-PLC"));
}

QTEST_GUILESS_MAIN(TestAddressCheck)
#include "tst_addresscheck.moc"
