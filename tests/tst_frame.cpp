#include "protocol/conversions.h"
#include "protocol/frame.h"
#include "support/testsupport.h"

#include <QTest>
#include <QtEndian>

#include <vector>

using namespace Qt::StringLiterals;

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

// Decoded from a heap block of exactly the datagram's size, so that a sanitizer sees a read past its end.
Frame::Decoded decodeExact(const QByteArray &datagram)
{
    const std::vector<char> exact(datagram.cbegin(), datagram.cend());
    return Frame::decode(QByteArray::fromRawData(exact.data(), qsizetype(exact.size())));
}
} // namespace

class TestFrame : public QObject
{
    Q_OBJECT

private slots:
    void encodedFrames_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray led = hex("4B4F5256454C 01 F0 00 02 0000002A 00000005 00000008 00000006 50E549CE2E4A"
                                   "00000006 00000002");
        const QByteArray write = hex("4B4F5256454C 01 F0 00 04 0000005A 00000009 00000008 00000006 50E549CE2E4A"
                                     "00000001 00000006 50E549CE2E4A 00000002 00000010");
        const auto writeRow = [&write](const char *tag, const char *name, const QByteArray &sentName) {
            const QString macText = u"50:E5:49:CE:2E:4A"_s;
            const Frame::WriteTexts texts{macText, macText, QString::fromUtf8(name), u"192.168.1.7"_s,
                                          u"255.255.255.0"_s, u"192.168.1.1"_s};
            QTest::newRow(tag) << Frame::encodeWrite(Frame::writeValuesFromTexts(texts), 9)
                               << write + sentName + hex("00000004 0000000C C0A80107FFFFFF00C0A80101");
        };
        QTest::newRow("search") << Frame::encodeSearch(0)
                                << hex("4B4F5256454C 01 F0 00 01 0000002E 00000000 00000000 00000014"
                                       "00000001 00000002 00000003 00000004 00000005");
        QTest::newRow("LED flash") << Frame::encodeLed(mac, Frame::LedCommand::Flash, 5) << led + hex("0002");
        QTest::newRow("LED off") << Frame::encodeLed(mac, Frame::LedCommand::Off, 5) << led + hex("0000");
        QTest::newRow("LED for an empty MAC text: a null value, still declared 42")
            << Frame::encodeLed(macTextToBytes(QString()), Frame::LedCommand::Flash, 5)
            << led.left(22) + hex("FFFFFFFF") + led.right(8) + hex("0002");
        writeRow("write: six-letter name gets ten spaces", "ABCDEF", "ABCDEF          ");
        writeRow("write: twenty-letter name is cut to sixteen", "ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMNOP");
        writeRow("write: non-Latin-1 letter becomes ?", "ABC\u4E2DEF", "ABC?EF          ");
        writeRow("write: a letter beyond 16 bits is two ? and counts twice", "AB\U0001F600CDEFGHIJKLMNOP",
                 "AB??CDEFGHIJKLMN");
    }

    void encodedFrames()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, expected);
        QCOMPARE(frame.toHex(' '), expected.toHex(' '));
    }

    void decoding_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("events"); // what the receive loop traces, in order
        const auto row = [](const char *tag, const char *outcome, const QByteArray &datagram, const char *events = "") {
            QTest::newRow(tag) << datagram << QString::fromLatin1(outcome) << QString::fromLatin1(events);
        };
        using F = QList<Tlv>;
        const QByteArray good = rawFrame(1, 5, replyFields());
        const auto sized = [](QByteArray frame) { // the length field set to the frame's real size
            qToBigEndian(quint32(frame.size()), frame.data() + 10);
            return frame;
        };
        const F end{{9, QByteArray(20, 0)}}; // ends the walk; pads the reply past 96 bytes
        const F base{{1, mac}, {2, "ABCDEFGHIJ"}};

        row("96 bytes, five fields", "accepted", good);
        row("17 bytes", "too short", good.left(17));
        row("magic case matters", "bad magic", "k" + good.mid(1));
        row("length field one short", "length mismatch", rawFrame(1, 5, replyFields(), 95));
        row("length field with high bit", "length mismatch", rawFrame(1, 5, replyFields(), 0x80000060));
        row("count 0", "bad count", rawFrame(1, 0, replyFields()));
        row("count 7", "bad count", rawFrame(1, 7, replyFields()));
        row("own search frame looped back", "not accepted", Frame::encodeSearch(3),
            "list 0000000100000002000000030000000400000005");
        row("95 bytes", "not accepted", rawFrame(1, 5, replyFields("ABCDEFGHIJK")));
        row("count 4 with all fields", "not accepted", rawFrame(1, 4, replyFields()));
        row("count 6", "not accepted", rawFrame(1, 6, replyFields() + end));
        row("name of 5 bytes", "not accepted", rawFrame(1, 5, replyFields("ABCDE") + end));
        row("name of 6 bytes", "accepted", rawFrame(1, 5, replyFields("ABCDEF") + end));
        row("name of 16 bytes", "accepted", rawFrame(1, 5, replyFields("ABCDEFGHIJKLMNOP")));
        row("name of 17 bytes", "not accepted", rawFrame(1, 5, replyFields("ABCDEFGHIJKLMNOPQ")));
        row("5-byte MAC", "not accepted", rawFrame(1, 5, F{{1, mac.left(5)}, {2, "ABCDEFGHIJ"}, {4, netAddr}} + end));
        row("addresses of 13 bytes", "not accepted", rawFrame(1, 5, base + F{{4, netAddr + 'x'}} + end));
        row("fields in another order", "accepted",
            rawFrame(1, 5, {{5, hex("00100000")}, {4, netAddr}, {3, hex("01000000")}, {2, "ABCDEFGHIJKL"}, {1, mac}}));
        row("repeated type keeps its last value", "accepted",
            rawFrame(1, 5, F{{2, "ABC"}} + base + F{{4, netAddr}} + end));
        row("type 9 in fourth place ends the walk", "accepted", rawFrame(1, 5, base + F{{4, netAddr}} + end));
        row("negative type ends the walk before the addresses", "not accepted",
            rawFrame(1, 5, base + F{{-1, std::nullopt}, {4, netAddr}} + end));
        row("count 5 but four fields: the fifth reads as an empty type 0", "accepted",
            rawFrame(1, 5, base + F{{3, QByteArray(18, 1)}, {4, netAddr}}), "list ");
        row("value running past the end: it and the rest read as type 0, empty", "accepted",
            sized(rawFrame(1, 5, base + F{{4, netAddr}}) + hex("00000003 7FFFFFF0") + QByteArray(40, 'z')), "list ");
        row("type 6 is a bare code", "accepted",
            rawFrame(1, 5, F{{6, std::nullopt}} + base + F{{4, netAddr}} + end));
        row("types 7 and 8 consume only their code", "not accepted",
            rawFrame(1, 3, {{7, std::nullopt}, {8, std::nullopt}, {0, hex("0102")}}), "illegal,illegal,list 0102");
        // Every truncation of a valid reply, its length field set to match: decoded without reading past it.
        for (int size = 18; size < good.size(); ++size)
            QTest::addRow("cut to %d bytes", size) << sized(good.left(size)) << u"not accepted"_s
                                                   << u"*"_s;
    }

    void decoding()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QString, outcome);
        QFETCH(QString, events);
        const Frame::Decoded decoded = decodeExact(datagram);
        const char *const refusals[] = {nullptr, "too short", "bad magic", "length mismatch", "bad count"};
        const char *result = decoded.header != Frame::HeaderCheck::Ok ? refusals[int(decoded.header)]
                             : decoded.accepted ? "accepted" : "not accepted";
        QCOMPARE(QLatin1String(result), outcome);
        QStringList walked;
        for (const Frame::WalkEvent &event : decoded.events)
            walked << QString::fromLatin1(event.kind == Frame::WalkEvent::FieldList ? "list " + event.value.toHex()
                                                                                    : QByteArray("illegal"));
        if (events != "*"_L1) // a cut reply reads its missing fields as type 0
            QCOMPARE(walked.join(u','), events);
    }

    void acceptedReplyFillsRecord()
    {
        const auto record = [](const QByteArray &datagram) {
            const Frame::DeviceReply r = decodeExact(datagram).reply;
            return QByteArrayList{r.type, r.mac, r.name, r.swVersion, r.netAddr, r.points};
        };
        QCOMPARE(record(rawFrame(3, 5, replyFields())),
                 (QByteArrayList{"SERVO", mac, "ABCDEFGHIJKL", hex("01000000"), netAddr, hex("00100000")}));
        // As the simulator sends it: without version and points, padded to 96 bytes.
        QCOMPARE(record(Frame::encodeReply(4, {{}, mac, "KV-PLC", {}, netAddr, {}}, 0)),
                 (QByteArrayList{"VFD", mac, "KV-PLC", {}, netAddr, {}}));
        const QByteArrayList types{"", "PLC", "HMI", "SERVO", "VFD", ""};
        for (quint8 code = 0; code < types.size(); ++code)
            QCOMPARE(Frame::devTypeText(code), types.at(code));
    }
};

QTEST_GUILESS_MAIN(TestFrame)
#include "tst_frame.moc"
