#include "dialogs/hostlookup.h"

#include <QHostAddress>
#include <QTest>

// Lists are written as one text, their entries separated by '|'.
class TestHostLookup : public QObject
{
    Q_OBJECT

private slots:
    void hostName_data()
    {
        QTest::addColumn<QString>("environment");
        QTest::addColumn<QString>("name");
        const auto row = [](const char *name, const char *environment, const char *hostName) {
            QTest::newRow(name) << QString::fromUtf8(environment) << QString::fromUtf8(hostName);
        };
        row("USERNAME wins over an earlier USERDOMAIN", "USERDOMAIN=WORK|USERNAME=alice|HOSTNAME=pc1", "alice");
        row("USER.* takes the first USER entry", "USERDOMAIN=WORK|USERPROFILE=C:\\Users\\bob", "WORK");
        row("empty value is a name, not unknown", "USERNAME=", "");
        row("value holding '=' passes to the next pattern", "USERNAME=a=b|HOSTNAME=pc1", "pc1");
        row("only the first entry of a pattern is tried", "USER=a=b|USERX=ok|HOSTNAME=pc1", "pc1");
        row("entry without '=' passes to the next pattern", "USERNAME|HOSTNAME=pc1", "pc1");
        row("USERDOMAIN before HOSTNAME", "USER=a=b|HOSTNAME=pc1|USERDOMAIN=WORK", "WORK");
        row("DOMAINNAME as the last resort", "PATH=/usr/bin|DOMAINNAME=corp", "corp");
        row("lower case does not match", "username=alice", "unknown");
        row("pattern anchored at the start", "MY_USERNAME=x|XHOSTNAME=y", "unknown");
        row("value kept untrimmed", "USERNAME= alice ", " alice ");
        row("value spanning lines still matches", "USERNAME=a\nb", "a\nb");
    }

    void hostName()
    {
        QFETCH(QString, environment);
        QFETCH(QString, name);
        QCOMPARE(HostLookup::hostNameFromEnvironment(environment.split(u'|', Qt::SkipEmptyParts)), name);
    }

    void firstIpv4Address()
    {
        const auto firstIpv4 = [](const QString &texts) {
            QList<QHostAddress> addresses;
            for (const QString &text : texts.split(u'|'))
                addresses << QHostAddress(text);
            return HostLookup::firstIpv4Address(addresses);
        };
        // An IPv4 loopback or link-local address counts like any other; IPv6 never does.
        QCOMPARE(firstIpv4(QStringLiteral("::1|127.0.0.1|192.168.1.5")), QStringLiteral("127.0.0.1"));
        QCOMPARE(firstIpv4(QStringLiteral("169.254.3.4|10.0.0.7")), QStringLiteral("169.254.3.4"));
        QCOMPARE(firstIpv4(QStringLiteral("::1|fe80::1")), QString());
    }
};

QTEST_GUILESS_MAIN(TestHostLookup)
#include "tst_hostlookup.moc"
