// The commissioning engine's pure pieces, in tables: which adapters are used, how a frame reaches a
// device, the merge of replies by MAC, a write nothing answered, the checking of address plans
// against the network (their reading, in tst_planfile); and the one limit of a search that no
// simulator reaches cheaply, over a link without a socket. The sessions on sockets, and the other
// outcomes of a write, are tested through kvrctl700-cli in tst_cli and through the window in
// tst_endtoend.

#include "commissioning/adapters.h"
#include "commissioning/founddevice.h"
#include "commissioning/plancheck.h"
#include "commissioning/route.h"
#include "commissioning/searchsession.h"
#include "commissioning/verifiedwrite.h"
#include "commissioning/writeoutcome.h"
#include "protocol/conversions.h"
#include "support/fakelink.h"
#include "support/testsupport.h"

#include <QHostAddress>
#include <QTest>

using kvrtest::hex;

namespace {

quint32 ip(const QString &text)
{
    return QHostAddress(text).toIPv4Address();
}

// "eth2 6 198.18.0.1/16 192.0.2.1/24": an adapter, up with a link and able to broadcast unless
// the words loopback, down or p2p say otherwise.
Adapters::Candidate candidate(const QString &description)
{
    const QStringList parts = description.split(u' ');
    Adapters::Candidate c{parts[0], parts[1].toInt(), !parts.contains(QLatin1String("down")),
                          parts.contains(QLatin1String("loopback")), parts.contains(QLatin1String("p2p")),
                          !parts.contains(QLatin1String("p2p")), {}};
    for (const QString &address : parts.filter(QStringLiteral("/")))
        c.addresses.append({ip(address.section(u'/', 0, 0)), address.section(u'/', 1).toInt()});
    return c;
}

// "024B56100001 198.18.0.10 255.255.0.0 198.18.0.254": a device's reply, or a plan row.
AddressCheck::Settings settings(const QStringList &parts)
{
    return {ip(parts[1]), ip(parts[2]), ip(parts[3])};
}

FoundDevice found(const QString &description, int interfaceIndex = 2)
{
    const QStringList parts = description.split(u' ');
    FoundDevice device;
    device.reply = {"PLC", hex(parts[0].toLatin1()), "DEVICE-" + parts[0].right(2).toLatin1(), {},
                    AddressCheck::settingsBytes(settings(parts)), {}};
    device.interfaces = {interfaceIndex};
    return device;
}

} // namespace

class TestEngine : public QObject
{
    Q_OBJECT

private slots:
    void adapterChoice();
    void routeToDevice_data();
    void routeToDevice();
    void repliesMergeByMac();
    void searchStopsListingAtItsLimit();
    void answersOfAWrite_data();
    void answersOfAWrite();
    void writeGroups_data();
    void writeGroups();
    void planChecks_data();
    void planChecks();
};

void TestEngine::adapterChoice()
{
    // By default every adapter that is up with a link, has an IPv4 address and can broadcast. The
    // adapters a user names (-i) are tried through kvrctl700-cli in tst_cli.
    QList<Adapters::Candidate> candidates;
    for (const char *description : {"lo 1 loopback 127.0.0.1/8", "eth0 2 192.168.1.5/24", "wlan0 3 down 10.0.0.5/8",
                                     "tun0 4 p2p 10.8.0.2/24", "eth1 5", "eth2 6 198.18.0.1/16 192.0.2.1/24"})
        candidates.append(candidate(QString::fromLatin1(description)));
    const Adapters::Choice chosen = Adapters::choose(candidates, {});
    QStringList used, skipped;
    for (const Adapters::Adapter &a : chosen.adapters)
        used.append(a.name);
    for (const Adapters::Skipped &s : chosen.skipped)
        skipped.append(s.name);
    QCOMPARE(used.join(u' '), QStringLiteral("eth0 eth2"));
    QCOMPARE(skipped.join(u' '), QStringLiteral("lo wlan0 tun0 eth1"));
}

void TestEngine::routeToDevice_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QList<int>>("answeredOn");
    QTest::addColumn<QString>("others"); // devices the same search found: "198.18.0.10@2" at that address on that adapter
    QTest::addColumn<QString>("route");

    QTest::newRow("another adapter's subnet: unicast would leave by the wrong cable")
        << "198.19.0.7" << QList<int>{2} << "" << "broadcast on a";
    QTest::newRow("answered on two, in the second's subnet") << "192.0.2.9" << QList<int>{2, 3} << "" << "unicast to 192.0.2.9 on b";
    QTest::newRow("holds this machine's address") << "198.18.0.1" << QList<int>{2} << "" << "broadcast on a";
    QTest::newRow("at its subnet's broadcast address") << "198.18.255.255" << QList<int>{2} << "" << "broadcast on a";
    QTest::newRow("answered on no adapter in use") << "198.18.0.10" << QList<int>{9} << "" << "none";
    QTest::newRow("a unicast to a shared address reaches the other device") << "198.18.0.10" << QList<int>{2}
        << "198.18.0.11@2 198.18.0.10@2" << "broadcast on a, its address being shared with another device";
    QTest::newRow("the same address behind another adapter takes the unicast away") << "198.18.0.10" << QList<int>{2}
        << "198.18.0.10@3" << "unicast to 198.18.0.10 on a";
}

void TestEngine::routeToDevice()
{
    QFETCH(QString, device);
    QFETCH(QList<int>, answeredOn);
    QFETCH(QString, others);
    QFETCH(QString, route);

    const QList<Adapters::Adapter> adapters = Adapters::choose({candidate(QStringLiteral("a 2 198.18.0.1/16")),
                                                                candidate(QStringLiteral("b 3 198.19.0.1/16 192.0.2.1/24"))})
                                                  .adapters;
    QList<FoundDevice> search{found(QStringLiteral("024B56100001 %1 255.255.0.0 0.0.0.0").arg(device))};
    search[0].interfaces = answeredOn;
    for (const QString &other : others.split(u' ', Qt::SkipEmptyParts)) {
        search.append(found(QStringLiteral("024B5610%1 %2 255.255.0.0 0.0.0.0").arg(search.size() + 10).arg(other.section(u'@', 0, 0)),
                            other.section(u'@', 1).toInt()));
    }
    markSharedAddresses(search);
    const std::optional<DeviceRoute::Route> found = DeviceRoute::toDevice(search[0], adapters);
    QCOMPARE(found ? found->describe() : QStringLiteral("none"), route);
}

void TestEngine::repliesMergeByMac()
{
    const FoundDevice a = found(QStringLiteral("024B56100001 198.18.0.10 255.255.0.0 198.18.0.254"));
    const FoundDevice b = found(QStringLiteral("024B56100002 198.18.0.20 255.255.0.0 198.18.0.254"));
    const FoundDevice aMoved = found(QStringLiteral("024B56100001 198.18.0.11 255.255.0.0 198.18.0.254"));
    QList<FoundDevice> devices;
    QList<bool> isNew{mergeReply(devices, a.reply, 2, 1), mergeReply(devices, b.reply, 3, 1),
                      mergeReply(devices, a.reply, 3, 1), mergeReply(devices, aMoved.reply, 2, 2)};
    QCOMPARE(isNew, (QList<bool>{true, true, false, false}));
    QCOMPARE(devices.size(), 2);
    QCOMPARE(devices[0].interfaces, (QList<int>{2, 3})); // heard on both adapters, listed once
    QCOMPARE(devices[0].roundsAnswered, 2);
    QCOMPARE(devices[0].settings().ip, ip(QStringLiteral("198.18.0.11"))); // the latest reply wins
    QCOMPARE(devices[0].settingsHeard, (QList<AddressCheck::Settings>{a.settings(), aMoved.settings()}));
    QCOMPARE(devices[1].settingsHeard.size(), 1);
}

void TestEngine::searchStopsListingAtItsLimit()
{
    // A flood of made-up replies, each under a MAC of its own, would grow the list without end.
    kvrtest::FakeLink link;
    SearchSession::Options options;
    options.rounds = 1;
    options.maxDevices = 3;
    SearchSession session(link, {}, options);
    session.start();
    for (const char *device : {"024B56100001 198.18.0.10", "024B56100002 198.18.0.20", "024B56100003 198.18.0.30",
                               "024B56100004 198.18.0.40", "024B56100001 198.18.0.11"}) {
        const FoundDevice reply = found(QString::fromLatin1(device) + QStringLiteral(" 255.255.0.0 0.0.0.0"));
        emit link.replyReceived(reply.reply, 2, reply.settings().ip);
    }
    QVERIFY(QTest::qWaitFor([&session] { return session.isFinished(); }, 5000));
    QStringList listed;
    for (const FoundDevice &device : session.devices())
        listed.append(QHostAddress(device.settings().ip).toString());
    QCOMPARE(listed.join(u' '), QStringLiteral("198.18.0.11 198.18.0.20 198.18.0.30")); // a listed device still answers
    QVERIFY(session.deviceLimitReached());
}

void TestEngine::answersOfAWrite_data()
{
    using WriteOutcome::Outcome;
    QTest::addColumn<bool>("unicast"); // the write left by adapter 2, to 198.18.0.10 or by broadcast
    QTest::addColumn<QString>("answers"); // "W 2 12 30": the settings written (W), the old (O) or others (X),
                                          // on adapter 2, from 198.18.0.12, 30 ms into the verification
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<int>("settledAt"); // -1: not yet

    // The frame left, and nothing answered: not "not sent". (Through kvrctl700-cli, every simulated
    // device that takes a write answers again, so this outcome is only seen here.)
    QTest::newRow("nothing answered") << true << "" << Outcome::NotSeen << -1;
    QTest::newRow("the device took the settings") << true << "W 2 12 30" << Outcome::Verified << 80;
    QTest::newRow("a second responder on another adapter answers with the new settings")
        << true << "W 3 12 0;O 2 10 20" << Outcome::Mismatch << 70;
    QTest::newRow("a second responder from another address answers with the new settings")
        << true << "W 2 66 0;O 2 10 20" << Outcome::Mismatch << 70;
    QTest::newRow("an adapter the system did not name proves nothing") << true << "W 0 12 0" << Outcome::NotSeen << -1;
    QTest::newRow("by broadcast the source address is not the device's to choose") << false << "W 2 2 0" << Outcome::Verified << 50;
    QTest::newRow("new settings, then the old: answers that disagree") << true << "W 2 12 0;O 2 10 10" << Outcome::Conflict << 50;
    QTest::newRow("a second voice on the write's adapter, by broadcast") << false << "O 2 2 0;W 2 2 30" << Outcome::Conflict << 50;
    QTest::newRow("one answer twice is no disagreement") << true << "W 2 12 0;W 2 12 20" << Outcome::Verified << 50;
}

void TestEngine::answersOfAWrite()
{
    using WriteOutcome::Outcome;
    QFETCH(bool, unicast);
    QFETCH(QString, answers);
    QFETCH(Outcome, outcome);
    QFETCH(int, settledAt);

    const AddressCheck::Settings written{ip(QStringLiteral("198.18.0.12")), 0xFFFF0000u, ip(QStringLiteral("198.18.0.254"))};
    const WriteOutcome::Write write{written, 2, unicast};
    QList<WriteOutcome::Answer> heard;
    for (const QString &text : answers.split(u';', Qt::SkipEmptyParts)) {
        const QStringList parts = text.split(u' ');
        AddressCheck::Settings settings = written;
        settings.ip = ip(parts[0] == QLatin1String("W") ? QStringLiteral("198.18.0.12")
                         : parts[0] == QLatin1String("O") ? QStringLiteral("198.18.0.10")
                                                          : QStringLiteral("198.18.0.99"));
        heard.append({settings, parts[1].toInt(), ip(QStringLiteral("198.18.0.") + parts[2]), parts[3].toInt()});
    }
    QCOMPARE(WriteOutcome::judge(heard, write), outcome);
    QCOMPARE(WriteOutcome::settledAt(heard, write, 50).value_or(-1), qint64(settledAt));
}

void TestEngine::writeGroups_data()
{
    QTest::addColumn<int>("writes");
    QTest::addColumn<int>("batchSize"); // 0: the default, all after the first together
    QTest::addColumn<QString>("groups"); // positions, groups joined by '|'

    QTest::newRow("nothing to write sends nothing") << 0 << 0 << "";
    QTest::newRow("a single write is its own first") << 1 << 0 << "0";
    QTest::newRow("the first alone, then all others together") << 5 << 0 << "0|1 2 3 4";
    QTest::newRow("one by one") << 4 << 1 << "0|1|2|3";
    QTest::newRow("a last group smaller than the size") << 6 << 2 << "0|1 2|3 4|5";
    QTest::newRow("a size beyond the plan") << 3 << 50 << "0|1 2";
}

void TestEngine::writeGroups()
{
    QFETCH(int, writes);
    QFETCH(int, batchSize);
    QFETCH(QString, groups);

    QStringList texts;
    for (const QList<qsizetype> &group : ::writeGroups(writes, batchSize)) {
        QStringList positions;
        for (qsizetype position : group)
            positions.append(QString::number(position));
        texts.append(positions.join(u' '));
    }
    QCOMPARE(texts.join(u'|'), groups);
}

void TestEngine::planChecks_data()
{
    QTest::addColumn<QString>("rows");     // "mac ip mask gateway", joined by ';'
    QTest::addColumn<QString>("verdicts"); // a letter a row: Write, Already correct, Not found, Refused; w: a warning

    QTest::newRow("a new gateway only") << "024B56100001 198.18.0.10 255.255.0.0 198.18.0.253" << "W";
    QTest::newRow("a device that did not answer is still checked")
        << "024B56100009 198.18.0.40 255.255.0.0 198.18.0.254;024B56100008 198.18.0.41 255.0.255.0 0.0.0.0" << "NR";
    QTest::newRow("a row takes the address another device has now")
        << "024B56100001 198.18.0.10 255.255.0.0 198.18.0.254;024B56100002 198.18.0.10 255.255.0.0 0.0.0.0" << "AR";
    QTest::newRow("a swap of two devices' addresses")
        << "024B56100001 198.18.0.20 255.255.0.0 198.18.0.254;024B56100002 198.18.0.10 255.255.0.0 198.18.0.254" << "RR";
    QTest::newRow("a subnet no adapter is on only warns") << "024B56100002 10.1.1.20 255.255.255.0 0.0.0.0" << "Ww";
}

void TestEngine::planChecks()
{
    QFETCH(QString, rows);
    QFETCH(QString, verdicts);

    QList<PlanFile::Row> plan;
    for (const QString &text : rows.split(u';'))
        plan.append({int(plan.size()) + 2, hex(text.section(u' ', 0, 0).toLatin1()), settings(text.split(u' '))});
    const QList<FoundDevice> devices{found(QStringLiteral("024B56100001 198.18.0.10 255.255.0.0 198.18.0.254")),
                                     found(QStringLiteral("024B56100002 198.18.0.20 255.255.0.0 198.18.0.254"))};
    QString letters;
    for (const PlanCheck::RowCheck &check : PlanCheck::check(plan, devices, Adapters::choose({candidate(QStringLiteral("a 2 198.18.0.1/16"))}).adapters)) {
        letters += QStringLiteral("WANR").at(int(check.verdict));
        letters += QString(check.warnings.size(), u'w');
    }
    QCOMPARE(letters, verdicts);
}

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
