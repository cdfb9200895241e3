#include "dialogs/hostlookup.h"

#include <QHostAddress>
#include <QTest>

namespace {
QList<QHostAddress> addresses(const QStringList &texts)
{
    QList<QHostAddress> list;
    for (const QString &text : texts)
        list << QHostAddress(text);
    return list;
}
} // namespace

class TestHostLookup : public QObject
{
    Q_OBJECT

private slots:
    void hostName_data();
    void hostName();
    void firstIpv4Address_data();
    void firstIpv4Address();
    void firstHardwareAddress_data();
    void firstHardwareAddress();
};

void TestHostLookup::hostName_data()
{
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QString>("name");

    const auto env = [](std::initializer_list<const char *> entries) {
        QStringList list;
        for (const char *entry : entries)
            list << QString::fromUtf8(entry);
        return list;
    };

    QTest::newRow("USERNAME wins over an earlier USERDOMAIN")
        << env({"USERDOMAIN=WORK", "USERNAME=alice", "HOSTNAME=pc1"}) << QStringLiteral("alice");
    QTest::newRow("without USERNAME, USER.* takes the first USER entry")
        << env({"USERDOMAIN=WORK", "USERPROFILE=C:\\Users\\bob"}) << QStringLiteral("WORK");
    QTest::newRow("empty value is a name, not unknown") << env({"USERNAME="}) << QString();
    QTest::newRow("longer variable name still matches") << env({"USERNAMES=x"}) << QStringLiteral("x");
    QTest::newRow("value holding '=' passes to the next pattern")
        << env({"USERNAME=a=b", "HOSTNAME=pc1"}) << QStringLiteral("pc1");
    QTest::newRow("only the first entry of a pattern is tried")
        << env({"USER=a=b", "USERX=ok", "HOSTNAME=pc1"}) << QStringLiteral("pc1");
    QTest::newRow("entry without '=' passes to the next pattern")
        << env({"USERNAME", "HOSTNAME=pc1"}) << QStringLiteral("pc1");
    QTest::newRow("lower case does not match") << env({"username=alice"}) << QStringLiteral("unknown");
    QTest::newRow("empty environment") << QStringList() << QStringLiteral("unknown");
    QTest::newRow("pattern anchored at the start")
        << env({"MY_USERNAME=x", "XHOSTNAME=y"}) << QStringLiteral("unknown");
    QTest::newRow("value kept untrimmed") << env({"USERNAME= alice "}) << QStringLiteral(" alice ");
    QTest::newRow("value spanning lines still matches")
        << env({"USERNAME=a\nb"}) << QStringLiteral("a\nb");
    QTest::newRow("non-ASCII value kept") << env({"USERNAME=张三"}) << QStringLiteral("张三");
    QTest::newRow("USERDOMAIN before HOSTNAME when USER.* is passed over")
        << env({"USER=a=b", "HOSTNAME=pc1", "USERDOMAIN=WORK"}) << QStringLiteral("WORK");
    QTest::newRow("DOMAINNAME as the last resort")
        << env({"PATH=/usr/bin", "DOMAINNAME=corp"}) << QStringLiteral("corp");
}

void TestHostLookup::hostName()
{
    QFETCH(QStringList, environment);
    QFETCH(QString, name);
    QCOMPARE(HostLookup::hostNameFromEnvironment(environment), name);
}

void TestHostLookup::firstIpv4Address_data()
{
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QString>("address");

    QTest::newRow("IPv6 loopback skipped, IPv4 loopback taken")
        << QStringList{QStringLiteral("::1"), QStringLiteral("127.0.0.1"), QStringLiteral("192.168.1.5")}
        << QStringLiteral("127.0.0.1");
    QTest::newRow("link-local taken when first")
        << QStringList{QStringLiteral("169.254.3.4"), QStringLiteral("10.0.0.7")}
        << QStringLiteral("169.254.3.4");
    QTest::newRow("only IPv6 gives nothing")
        << QStringList{QStringLiteral("::1"), QStringLiteral("fe80::1")} << QString();
    QTest::newRow("no addresses gives nothing") << QStringList() << QString();
}

void TestHostLookup::firstIpv4Address()
{
    QFETCH(QStringList, list);
    QFETCH(QString, address);
    QCOMPARE(HostLookup::firstIpv4Address(addresses(list)), address);
}

void TestHostLookup::firstHardwareAddress_data()
{
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QString>("address");

    QTest::newRow("no interfaces gives nothing") << QStringList() << QString();
    QTest::newRow("first interface even if loopback")
        << QStringList{QStringLiteral("00:00:00:00:00:00"), QStringLiteral("52:54:00:12:34:56")}
        << QStringLiteral("00:00:00:00:00:00");
    QTest::newRow("first interface even without an address")
        << QStringList{QString(), QStringLiteral("52:54:00:12:34:56")} << QString();
}

void TestHostLookup::firstHardwareAddress()
{
    QFETCH(QStringList, list);
    QFETCH(QString, address);
    QCOMPARE(HostLookup::firstHardwareAddress(list), address);
}

QTEST_GUILESS_MAIN(TestHostLookup)
#include "tst_hostlookup.moc"
