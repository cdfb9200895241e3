#include "protocol/frame.h"
#include "support/testsupport.h"

#include <QTest>

using kvrtest::hex;
using kvrtest::rawFrame;
using kvrtest::Tlv;

namespace {
const QByteArray mac = hex("50E549CE2E4A");
const QByteArray netAddr = hex("C0A80102FFFFFF00C0A80101");

// Five well-formed fields; with a 12-byte name the reply is exactly 96 bytes.
QList<Tlv> replyFields(const QByteArray &name = "ABCDEFGHIJKL")
{
    return {{1, mac}, {2, name}, {3, hex("01000000")}, {4, netAddr}, {5, hex("00100000")}};
}
} // namespace

Q_DECLARE_METATYPE(Frame::WriteTexts)
Q_DECLARE_METATYPE(Frame::HeaderCheck)

class TestFrame : public QObject
{
    Q_OBJECT

private slots:
    void searchFrame();
    void ledFrames_data();
    void ledFrames();
    void ledFrameWithoutMac();
    void writeFrame_data();
    void writeFrame();

    void headerChecks_data();
    void headerChecks();
    void acceptance_data();
    void acceptance();
    void acceptedReplyFillsRecord();
    void walkRules();
    void neverReadsOutsideTheDatagram();
    void ownSearchFrameIsTracedNotAccepted();
    void replyEncoderRoundTrips();
};

void TestFrame::searchFrame()
{
    QCOMPARE(Frame::encodeSearch(0), hex("4B4F5256454C 01 F0 00 01 0000002E 00000000"
                                         "00000000 00000014 00000001 00000002 00000003 00000004 00000005"));
    QCOMPARE(Frame::encodeSearch(0x01020304).mid(14, 4), hex("01020304"));
}

void TestFrame::ledFrames_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("frame");
    const QByteArray head = hex("4B4F5256454C 01 F0 00 02 0000002A 00000005 00000008 00000006 50E549CE2E4A"
                                "00000006 00000002");
    QTest::newRow("flash") << int(Frame::LedCommand::Flash) << head + hex("0002");
    QTest::newRow("off") << int(Frame::LedCommand::Off) << head + hex("0000");
}

void TestFrame::ledFrames()
{
    QFETCH(int, command);
    QFETCH(QByteArray, frame);
    QCOMPARE(Frame::encodeLed(mac, Frame::LedCommand(command), 5), frame);
}

void TestFrame::ledFrameWithoutMac()
{
    // An empty MAC text converts to a null value: the length word 0xFFFFFFFF and no bytes, while
    // the header still declares 42.
    const QByteArray frame = Frame::encodeLed(QByteArray(), Frame::LedCommand::Flash, 0);
    QCOMPARE(frame.size(), 36);
    QCOMPARE(frame.mid(10, 4), hex("0000002A"));
    QCOMPARE(frame.mid(22, 4), hex("FFFFFFFF"));
}

void TestFrame::writeFrame_data()
{
    QTest::addColumn<Frame::WriteTexts>("texts");
    QTest::addColumn<QByteArray>("frame");

    const QByteArray head = hex("4B4F5256454C 01 F0 00 04 0000005A 00000009");
    const QByteArray macs = hex("00000008 00000006 50E549CE2E4A 00000001 00000006 50E549CE2E4A");
    const auto name = [](const QByteArray &padded) { return hex("00000002 00000010") + padded; };
    const auto texts = [](const QString &name, const QString &ip) {
        return Frame::WriteTexts{QStringLiteral("50:E5:49:CE:2E:4A"), QStringLiteral("50:E5:49:CE:2E:4A"),
                                 name, ip, QStringLiteral("255.255.255.0"), QStringLiteral("192.168.1.1")};
    };

    QTest::newRow("six-letter name gets ten spaces")
        << texts(QStringLiteral("ABCDEF"), QStringLiteral("192.168.1.7"))
        << head + macs + name("ABCDEF          ") + hex("00000004 0000000C C0A80107FFFFFF00C0A80101");
    QTest::newRow("twenty-letter name is cut to sixteen")
        << texts(QStringLiteral("ABCDEFGHIJKLMNOPQRST"), QStringLiteral("192.168.1.7"))
        << head + macs + name("ABCDEFGHIJKLMNOP") + hex("00000004 0000000C C0A80107FFFFFF00C0A80101");
    QTest::newRow("non-Latin-1 letter becomes ?")
        << texts(QStringLiteral("ABC\u4E2DEF"), QStringLiteral("192.168.1.7"))
        << head + macs + name("ABC?EF          ") + hex("00000004 0000000C C0A80107FFFFFF00C0A80101");
    QTest::newRow("empty address: 9-byte value, still declared 90")
        << texts(QStringLiteral("ABCDEF"), QString())
        << head + macs + name("ABCDEF          ") + hex("00000004 00000009 00FFFFFF00C0A80101");
}

void TestFrame::writeFrame()
{
    QFETCH(Frame::WriteTexts, texts);
    QFETCH(QByteArray, frame);
    QCOMPARE(Frame::encodeWrite(Frame::writeValuesFromTexts(texts), 9), frame);
}

void TestFrame::headerChecks_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<Frame::HeaderCheck>("check");

    const QByteArray good = rawFrame(1, 5, replyFields());
    QByteArray badMagic = good;
    badMagic[0] = 'k';
    QByteArray countZero = good;
    countZero[9] = 0;
    QByteArray countSeven = good;
    countSeven[9] = 7;
    QByteArray countNegative = good;
    countNegative[9] = char(0x85);

    QTest::newRow("valid reply") << good << Frame::HeaderCheck::Ok;
    QTest::newRow("17 bytes") << good.left(17) << Frame::HeaderCheck::TooShort;
    QTest::newRow("empty datagram") << QByteArray() << Frame::HeaderCheck::TooShort;
    QTest::newRow("magic case matters") << badMagic << Frame::HeaderCheck::BadMagic;
    QTest::newRow("length field one short")
        << rawFrame(1, 5, replyFields(), quint32(good.size() - 1)) << Frame::HeaderCheck::LengthMismatch;
    QTest::newRow("length field with high bit")
        << rawFrame(1, 5, replyFields(), 0x80000000u + quint32(good.size())) << Frame::HeaderCheck::LengthMismatch;
    QTest::newRow("count 0") << countZero << Frame::HeaderCheck::BadCount;
    QTest::newRow("count 7") << countSeven << Frame::HeaderCheck::BadCount;
    QTest::newRow("count read as signed") << countNegative << Frame::HeaderCheck::BadCount;
    QTest::newRow("200-byte datagram passes the length check")
        << rawFrame(1, 5, replyFields() + QList<Tlv>{{9, QByteArray(82, 'x')}}) << Frame::HeaderCheck::Ok;
}

void TestFrame::headerChecks()
{
    QFETCH(QByteArray, datagram);
    QFETCH(Frame::HeaderCheck, check);
    const Frame::Decoded decoded = Frame::decode(datagram);
    QCOMPARE(decoded.header, check);
    if (check != Frame::HeaderCheck::Ok) {
        QVERIFY(!decoded.accepted);
        QVERIFY(decoded.events.isEmpty());
    }
}

void TestFrame::acceptance_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("96 bytes, five fields") << rawFrame(1, 5, replyFields()) << true;
    QTest::newRow("95 bytes") << rawFrame(1, 5, replyFields("ABCDEFGHIJK")) << false;
    QTest::newRow("count 4 with all fields present") << rawFrame(1, 4, replyFields()) << false;
    QTest::newRow("count 6") << rawFrame(1, 6, replyFields() + QList<Tlv>{{9, std::nullopt}}) << false;
    QTest::newRow("name of 5 bytes")
        << rawFrame(1, 5, replyFields("ABCDE") + QList<Tlv>{{9, QByteArray(20, 0)}}) << false;
    QTest::newRow("name of 6 bytes")
        << rawFrame(1, 5, replyFields("ABCDEF") + QList<Tlv>{{9, QByteArray(20, 0)}}) << true;
    QTest::newRow("name of 16 bytes") << rawFrame(1, 5, replyFields("ABCDEFGHIJKLMNOP")) << true;
    QTest::newRow("name of 17 bytes") << rawFrame(1, 5, replyFields("ABCDEFGHIJKLMNOPQ")) << false;
    QTest::newRow("MAC of 5 bytes")
        << rawFrame(1, 5, {{1, mac.left(5)}, {2, "ABCDEFGHIJK"}, {3, hex("01")}, {4, netAddr}, {5, hex("0010000000")}})
        << false;
    QTest::newRow("addresses of 13 bytes")
        << rawFrame(1, 5, {{1, mac}, {2, "ABCDEFGHIJ"}, {3, hex("01")}, {4, netAddr + 'x'}, {5, hex("0010")}})
        << false;
    QTest::newRow("fields in another order")
        << rawFrame(1, 5, {{5, hex("00100000")}, {4, netAddr}, {3, hex("01000000")}, {2, "ABCDEFGHIJKL"}, {1, mac}})
        << true;
    QTest::newRow("repeated type keeps its last value")
        << rawFrame(1, 5, {{2, "ABC"}, {1, mac}, {2, "ABCDEFGHIJ"}, {4, netAddr}, {5, hex("0010000000000000")}})
        << true;
    QTest::newRow("header type 0 or 5 still accepted") << rawFrame(5, 5, replyFields()) << true;
    QTest::newRow("type 9 in fourth place ends the walk")
        << rawFrame(1, 5, {{1, mac}, {2, "ABCDEFGHIJ"}, {4, netAddr}, {9, QByteArray(30, 'x')}}) << true;
    QTest::newRow("negative type ends the walk before the addresses")
        << rawFrame(1, 5, {{1, mac}, {2, "ABCDEFGHIJ"}, {-1, std::nullopt}, {4, netAddr}, {9, QByteArray(10, 0)}})
        << false;
    QTest::newRow("count 5 but four fields: the fifth reads as an empty type 0")
        << rawFrame(1, 5, {{1, mac}, {2, "ABCDEFGHIJ"}, {3, QByteArray(18, 1)}, {4, netAddr}}) << true;
}

void TestFrame::acceptance()
{
    QFETCH(QByteArray, datagram);
    QFETCH(bool, accepted);
    const Frame::Decoded decoded = Frame::decode(datagram);
    QCOMPARE(decoded.header, Frame::HeaderCheck::Ok);
    QCOMPARE(decoded.accepted, accepted);
}

void TestFrame::acceptedReplyFillsRecord()
{
    Frame::Decoded decoded = Frame::decode(rawFrame(3, 5, replyFields()));
    QVERIFY(decoded.accepted);
    QCOMPARE(decoded.reply.type, QByteArray("SERVO"));
    QCOMPARE(decoded.reply.mac, mac);
    QCOMPARE(decoded.reply.name, QByteArray("ABCDEFGHIJKL"));
    QCOMPARE(decoded.reply.swVersion, hex("01000000"));
    QCOMPARE(decoded.reply.netAddr, netAddr);
    QCOMPARE(decoded.reply.points, hex("00100000"));

    // Without types 3 and 5 the record carries empty values, and byte 7 = 0 an empty type text.
    decoded = Frame::decode(rawFrame(0, 5, {{1, mac}, {2, "ABCDEFGHIJ"}, {4, netAddr}, {9, QByteArray(30, 0)}}));
    QVERIFY(decoded.accepted);
    QVERIFY(decoded.reply.type.isEmpty());
    QVERIFY(decoded.reply.swVersion.isEmpty());
    QVERIFY(decoded.reply.points.isEmpty());

    const char *names[] = {"", "PLC", "HMI", "SERVO", "VFD", "", ""};
    for (quint8 code = 0; code < 7; ++code)
        QCOMPARE(Frame::devTypeText(code), QByteArray(names[code]));
    QVERIFY(Frame::devTypeText(0xF0).isEmpty());
}

void TestFrame::walkRules()
{
    // Type 6 is a bare code: the 4 bytes behind it are read as the next type code (here 1).
    QByteArray datagram = rawFrame(1, 5, {{6, std::nullopt}, {1, mac}, {2, "ABCDEFGHIJ"}, {4, netAddr},
                                          {9, QByteArray(20, 0)}});
    QVERIFY(Frame::decode(datagram).accepted);

    // Types 7 and 8 are traced and consume only their code; type 0 is traced with its value.
    datagram = rawFrame(1, 6, {{7, std::nullopt}, {8, std::nullopt}, {0, hex("0000000100000002")},
                               {1, mac}, {2, "ABCDEFGHIJ"}, {4, netAddr}, {9, QByteArray(10, 0)}});
    const Frame::Decoded decoded = Frame::decode(datagram);
    QCOMPARE(decoded.events.size(), 3);
    QCOMPARE(decoded.events[0].kind, Frame::WalkEvent::IllegalType);
    QCOMPARE(decoded.events[1].kind, Frame::WalkEvent::IllegalType);
    QCOMPARE(decoded.events[2].kind, Frame::WalkEvent::FieldList);
    QCOMPARE(decoded.events[2].value, hex("0000000100000002"));
    QVERIFY(!decoded.accepted); // count 6
}

void TestFrame::neverReadsOutsideTheDatagram()
{
    // A value length that runs past the end, then fields that are not there: type 0, empty values.
    QByteArray datagram = rawFrame(1, 5, {{1, mac}, {2, "ABCDEFGHIJ"}, {4, netAddr}});
    datagram.append(hex("00000003 7FFFFFF0"));
    datagram.append(QByteArray(40, 'z'));
    datagram.replace(10, 4, hex("00000076"));
    QCOMPARE(datagram.size(), 0x76);
    Frame::Decoded decoded = Frame::decode(QByteArray::fromRawData(datagram.constData(), datagram.size()));
    QCOMPARE(decoded.header, Frame::HeaderCheck::Ok);
    QVERIFY(decoded.accepted);
    QVERIFY(decoded.reply.swVersion.isEmpty());
    QCOMPARE(decoded.events.size(), 1); // the fifth field reads as type 0 with an empty value
    QVERIFY(decoded.events[0].value.isEmpty());

    // Every truncation of a valid reply either fails the length check or decodes without reading past it.
    const QByteArray reply = rawFrame(1, 5, replyFields());
    for (int size = 18; size < reply.size(); ++size) {
        QByteArray cut = reply.left(size);
        cut.replace(10, 4, hex(QByteArray::number(size, 16).rightJustified(8, '0').constData()));
        const Frame::Decoded d = Frame::decode(QByteArray::fromRawData(cut.constData(), cut.size()));
        QCOMPARE(d.header, Frame::HeaderCheck::Ok);
        QVERIFY(!d.accepted);
    }
}

void TestFrame::ownSearchFrameIsTracedNotAccepted()
{
    const Frame::Decoded decoded = Frame::decode(Frame::encodeSearch(3));
    QCOMPARE(decoded.header, Frame::HeaderCheck::Ok);
    QVERIFY(!decoded.accepted);
    QCOMPARE(decoded.events.size(), 1);
    QCOMPARE(decoded.events[0].value, hex("0000000100000002000000030000000400000005"));
}

void TestFrame::replyEncoderRoundTrips()
{
    Frame::DeviceReply device{{}, mac, "KV-PLC", hex("0102"), netAddr, {}};
    const QByteArray reply = Frame::encodeReply(2, device, 0);
    QCOMPARE(reply.size(), 96);
    const Frame::Decoded decoded = Frame::decode(reply);
    QVERIFY(decoded.accepted);
    QVERIFY(decoded.events.isEmpty());
    QCOMPARE(decoded.reply.type, QByteArray("HMI"));
    QCOMPARE(decoded.reply.name, QByteArray("KV-PLC"));
    QCOMPARE(decoded.reply.swVersion, hex("0102"));
    QVERIFY(decoded.reply.points.isEmpty());
}

QTEST_GUILESS_MAIN(TestFrame)
#include "tst_frame.moc"
