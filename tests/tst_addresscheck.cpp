#include "protocol/addresscheck.h"
#include "support/testsupport.h"

#include <QHostAddress>
#include <QTest>

using AddressCheck::Rule;

class TestAddressCheck : public QObject
{
    Q_OBJECT

private slots:
    void findings_data()
    {
        QTest::addColumn<QString>("settings"); // IP address, subnet mask and gateway, joined by ' '
        QTest::addColumn<QList<Rule>>("expected");
        const auto row = [](const char *name, const char *settings, QList<Rule> rules) {
            QTest::newRow(name) << QString::fromLatin1(settings) << rules;
        };
        row("valid", "192.168.1.30 255.255.255.0 192.168.1.1", {});
        row("valid, zero-padded as the sample row", "192.168.001.030 255.255.255.000 192.168.001.001", {});
        row("no gateway", "192.168.1.30 255.255.255.0 0.0.0.0", {});
        row("its own present address", "192.168.1.10 255.255.255.0 192.168.1.1", {});
        row("incomplete texts", "192.168.1. 255.255.255.0 192.168.1.1\n",
            {Rule::IpIncomplete, Rule::GatewayIncomplete});
        row("mask with a hole", "192.168.1.30 255.0.255.0 0.0.0.0", {Rule::MaskInvalid});
        row("mask of no ones", "192.168.1.30 0.0.0.0 0.0.0.0", {Rule::MaskInvalid});
        row("network address", "192.168.1.0 255.255.255.0 192.168.1.1", {Rule::IpIsNetworkOrBroadcast});
        row("broadcast address", "192.168.1.255 255.255.255.0 192.168.1.1", {Rule::IpIsNetworkOrBroadcast});
        row("broadcast of a /20", "10.0.15.255 255.255.240.0 0.0.0.0", {Rule::IpIsNetworkOrBroadcast});
        row("loopback", "127.0.0.5 255.0.0.0 0.0.0.0", {Rule::IpNotUnicast});
        row("0/8", "0.1.2.3 255.255.255.0 0.0.0.0", {Rule::IpNotUnicast});
        row("multicast", "224.0.0.10 255.255.255.0 0.0.0.0", {Rule::IpNotUnicast});
        row("gateway outside", "192.168.1.30 255.255.255.0 192.168.2.1", {Rule::GatewayOutsideSubnet});
        row("gateway broadcast", "192.168.1.30 255.255.255.0 192.168.1.255", {Rule::GatewayIsNetworkOrBroadcast});
        row("gateway multicast", "192.168.1.30 255.255.255.0 239.1.1.1", {Rule::GatewayNotUnicast});
        row("gateway is the IP", "192.168.1.30 255.255.255.0 192.168.1.30", {Rule::GatewayIsIp});
        row("another device's IP", "192.168.1.20 255.255.255.0 192.168.1.1", {Rule::IpUsedByAnotherDevice});
        row("this machine's IP", "192.168.1.5 255.255.255.0 192.168.1.1", {Rule::IpIsThisMachine});
        row("/31 warns only", "192.168.1.4 255.255.255.254 0.0.0.0", {Rule::HostRoute});
        row("/32 warns only", "192.168.1.30 255.255.255.255 0.0.0.0", {Rule::HostRoute, Rule::SubnetNotOnThisMachine});
        row("link-local warns", "169.254.3.4 255.255.0.0 0.0.0.0", {Rule::LinkLocal, Rule::SubnetNotOnThisMachine});
        row("other subnet warns", "10.1.2.3 255.255.255.0 10.1.2.1", {Rule::SubnetNotOnThisMachine});
        row("wider subnet holding this machine", "192.168.1.30 255.255.0.0 0.0.0.0", {});
        row("narrower subnet, no adapter", "192.168.1.130 255.255.255.128 0.0.0.0", {Rule::SubnetNotOnThisMachine});
    }

    void findings()
    {
        QFETCH(QString, settings);
        QFETCH(QList<Rule>, expected);
        // The device configured (…:01) at 192.168.1.10, another at .20, this machine at 192.168.1.5/24.
        const auto ip = [](const char *text) { return QHostAddress(QString::fromLatin1(text)).toIPv4Address(); };
        const QByteArray self = kvrtest::hex("024B56100001"), other = kvrtest::hex("024B56100002");
        const AddressCheck::Context context{self,
                                            {{self, QStringLiteral("SELF-PLC"), ip("192.168.1.10")},
                                             {other, QStringLiteral("OTHER-PLC"), ip("192.168.1.20")}},
                                            {ip("192.168.1.5")},
                                            {{ip("192.168.1.5"), 24}}};
        const QStringList texts = settings.split(u' ');
        const auto findings = AddressCheck::check(texts.at(0), texts.at(1), texts.at(2), context);
        QList<Rule> rules;
        for (const AddressCheck::Finding &finding : findings)
            rules.append(finding.rule);
        QCOMPARE(rules, expected);
        QCOMPARE(AddressCheck::refuses(findings), !expected.isEmpty() && expected.first() < Rule::HostRoute);
        if (expected.contains(Rule::IpUsedByAnotherDevice))
            QCOMPARE(findings.first().device.name, QStringLiteral("OTHER-PLC"));
    }

    void settingsText_data()
    {
        QTest::addColumn<QString>("settings"); // IP address, subnet mask and gateway, joined by ' '
        QTest::addColumn<QString>("expected");
        QTest::newRow("prefix length, not the mask") << "198.18.0.20 255.255.0.0 198.18.0.254"
                                                     << "198.18.0.20/16 gateway 198.18.0.254";
        QTest::newRow("no gateway shown as 0.0.0.0") << "198.18.0.20 255.255.255.255 0.0.0.0"
                                                     << "198.18.0.20/32 gateway 0.0.0.0";
        QTest::newRow("a mask with a hole in full, not /-1") << "198.18.0.20 255.0.255.0 0.0.0.0"
                                                             << "198.18.0.20/255.0.255.0 gateway 0.0.0.0";
    }

    void settingsText()
    {
        QFETCH(QString, settings);
        QFETCH(QString, expected);
        const QStringList texts = settings.split(u' ');
        const auto ip = [&texts](int i) { return QHostAddress(texts.at(i)).toIPv4Address(); };
        QCOMPARE(AddressCheck::settingsText({ip(0), ip(1), ip(2)}), expected);
    }
};

QTEST_GUILESS_MAIN(TestAddressCheck)
#include "tst_addresscheck.moc"
