#include "protocol/conversions.h"

#include <QHostAddress>
#include <QTest>

namespace {
enum Conversion { HexText, DottedText, TargetAddress, MacOfBytes, DottedOfBytes };

// Bytes are written as upper-case hex pairs on both sides of the table.
QString convert(Conversion conversion, const QString &input)
{
    const auto pairs = [](const QByteArray &bytes) { return QString::fromLatin1(bytes.toHex().toUpper()); };
    switch (conversion) {
    case HexText: return pairs(hexStringToBytes(input));
    case DottedText: return pairs(dottedStringToBytes(input));
    case TargetAddress: return decimalIPv4Address(input).toString();
    case MacOfBytes: return macBytesToText(QByteArray::fromHex(input.toLatin1()));
    case DottedOfBytes: return bytesToDottedText(QByteArray::fromHex(input.toLatin1()));
    }
    return {};
}
} // namespace

// The device tool's text-to-byte quirks (they never refuse input), the strict reading of a target
// address, and the texts the table shows for bytes.
class TestConversions : public QObject
{
    Q_OBJECT

private slots:
    void conversions_data()
    {
        QTest::addColumn<int>("conversion");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output");
        const auto row = [](const char *name, Conversion conversion, const char *input, const char *output) {
            QTest::newRow(name) << int(conversion) << QString::fromUtf8(input) << QString::fromUtf8(output);
        };
        row("hex: non-hex second digit counts -1", HexText, "0G", "FF");
        row("hex: non-hex first digit counts -16", HexText, "G0", "F0");
        row("hex: odd length, past the end counts -1", HexText, "5", "4F");
        row("hex: slash separators stay in place", HexText, "50/E5/49/CE/2E/4A", "50FE4F49FCDF2EF49F");
        row("dotted: zero-padded groups are decimal", DottedText, "192.168.001.002.", "C0A80102");
        row("dotted: over 255 wraps, four digits skipped, lone dot is 0", DottedText, "1.22.333.4444.", "01164D00");
        row("dotted: empty address is one 0 byte", DottedText, ".255.255.255.0.", "00FFFFFF00");
        row("dotted: unclosed last group is not converted", DottedText, "10.0.0.1", "0A0000");
        row("dotted: no dot reads nothing past the end", DottedText, "12", "");
        row("dotted: non-digit counts -1", DottedText, "a.", "FF");
        row("target: zero-padded groups are not octal", TargetAddress, "192.168.010.002", "192.168.10.2");
        row("target: three groups", TargetAddress, "192.168.1", "");
        row("target: group above 255", TargetAddress, "192.168.1.256", "");
        row("target: hex group", TargetAddress, "0x7f.0.0.1", "");
        row("MAC: small bytes get a leading 0, high ones no sign", MacOfBytes, "000A0F80FF01", "00:0A:0F:80:FF:01");
        row("dotted: any length, unsigned", DottedOfBytes, "0A6380FE01", "10.99.128.254.1");
    }

    void conversions()
    {
        QFETCH(int, conversion);
        QFETCH(QString, input);
        QFETCH(QString, output);
        QCOMPARE(convert(Conversion(conversion), input), output);
    }
};

QTEST_GUILESS_MAIN(TestConversions)
#include "tst_conversions.moc"
