#include "protocol/conversions.h"
#include "support/testsupport.h"

#include <QHostAddress>
#include <QTest>

using kvrtest::hex;

class TestConversions : public QObject
{
    Q_OBJECT

private slots:
    void hexStringToBytes_data();
    void hexStringToBytes();
    void emptyHexTextIsNull();
    void macTextToBytes_data();
    void macTextToBytes();
    void dottedStringToBytes_data();
    void dottedStringToBytes();
    void decimalIPv4Address_data();
    void decimalIPv4Address();
};

void TestConversions::hexStringToBytes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("upper-case pairs") << QStringLiteral("50E549CE2E4A") << hex("50E549CE2E4A");
    QTest::newRow("lower-case pairs") << QStringLiteral("50e549ce2e4a") << hex("50E549CE2E4A");
    QTest::newRow("non-hex second digit counts -1") << QStringLiteral("0G") << hex("FF");
    QTest::newRow("non-hex first digit counts -16") << QStringLiteral("G0") << hex("F0");
    QTest::newRow("odd length: past the end counts -1") << QStringLiteral("5") << hex("4F");
    QTest::newRow("slash separators stay in place")
        << QStringLiteral("50/E5/49/CE/2E/4A") << hex("50FE4F49FCDF2EF49F");
    QTest::newRow("non-ASCII digit is not a hex digit") << QStringLiteral("\uFF11\uFF11") << hex("EF");
}

void TestConversions::hexStringToBytes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(::hexStringToBytes(text), bytes);
}

void TestConversions::emptyHexTextIsNull()
{
    // A null value is encoded as the length 0xFFFFFFFF: the LED frame relies on it.
    QVERIFY(::hexStringToBytes(QString()).isNull());
    QVERIFY(::hexStringToBytes(QStringLiteral("")).isNull());
}

void TestConversions::macTextToBytes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("table format") << QStringLiteral("50:E5:49:CE:2E:4A") << hex("50E549CE2E4A");
    QTest::newRow("lower case") << QStringLiteral("50:e5:49:ce:2e:4a") << hex("50E549CE2E4A");
    QTest::newRow("truncated text gives fewer bytes") << QStringLiteral("50:E5:49") << hex("50E549");
}

void TestConversions::macTextToBytes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(::macTextToBytes(text), bytes);
}

void TestConversions::dottedStringToBytes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("three addresses joined")
        << QStringLiteral("192.168.1.7.255.255.255.0.192.168.1.1.") << hex("C0A80107FFFFFF00C0A80101");
    QTest::newRow("zero-padded groups are decimal") << QStringLiteral("192.168.001.002.") << hex("C0A80102");
    QTest::newRow("over 255 wraps, four digits skipped, lone dot is 0")
        << QStringLiteral("1.22.333.4444.") << hex("01164D00");
    QTest::newRow("empty address is one 0 byte")
        << QStringLiteral(".255.255.255.0.192.168.1.1.") << hex("00FFFFFF00C0A80101");
    QTest::newRow("unclosed last group is not converted") << QStringLiteral("10.0.0.1") << hex("0A0000");
    QTest::newRow("no dot at all reads nothing past the end") << QStringLiteral("12") << QByteArray();
    QTest::newRow("non-digit counts -1") << QStringLiteral("a.") << hex("FF");
}

void TestConversions::dottedStringToBytes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(::dottedStringToBytes(text), bytes);
}

void TestConversions::decimalIPv4Address_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("address");

    QTest::newRow("sample row's zero-padded groups are not octal")
        << QStringLiteral("192.168.001.002") << QStringLiteral("192.168.1.2");
    QTest::newRow("010 is ten") << QStringLiteral("010.000.000.010") << QStringLiteral("10.0.0.10");
    QTest::newRow("plain") << QStringLiteral("198.18.0.2") << QStringLiteral("198.18.0.2");
    QTest::newRow("three groups") << QStringLiteral("192.168.1") << QString();
    QTest::newRow("group above 255") << QStringLiteral("192.168.1.256") << QString();
    QTest::newRow("empty group") << QStringLiteral("192..1.2") << QString();
    QTest::newRow("hex group") << QStringLiteral("0x7f.0.0.1") << QString();
    QTest::newRow("empty") << QString() << QString();
}

void TestConversions::decimalIPv4Address()
{
    QFETCH(QString, text);
    QFETCH(QString, address);
    const QHostAddress parsed = ::decimalIPv4Address(text);
    QCOMPARE(parsed.isNull() ? QString() : parsed.toString(), address);
}

QTEST_GUILESS_MAIN(TestConversions)
#include "tst_conversions.moc"
