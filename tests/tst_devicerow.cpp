#include "mainwindow/devicerow.h"
#include "protocol/conversions.h"
#include "support/testsupport.h"

#include <QTest>

using kvrtest::hex;

class TestDeviceRow : public QObject
{
    Q_OBJECT

private slots:
    void deviceFieldText_data();
    void deviceFieldText();
    void displayedDeviceName_data();
    void displayedDeviceName();
    void macBytesToText_data();
    void macBytesToText();
    void bytesToDottedText_data();
    void bytesToDottedText();
    void rowFromShortestReply();
};

void TestDeviceRow::deviceFieldText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("plain ASCII") << QByteArray("PLC-0001") << QStringLiteral("PLC-0001");
    QTest::newRow("stops at the first zero byte") << QByteArray("ABC\0DEFGH", 9) << QStringLiteral("ABC");
    QTest::newRow("leading zero byte gives nothing") << QByteArray("\0ABCDEF", 7) << QString();
    QTest::newRow("white space is kept") << QByteArray(" AB  CD ") << QStringLiteral(" AB  CD ");
    QTest::newRow("UTF-8 is decoded")
        << QByteArray("\xe8\xae\xbe\xe5\xa4\x87\x31") << QStringLiteral("设备1");
    QTest::newRow("UTF-8 cut by a zero byte")
        << QByteArray("\xe8\xae\xbe\0\xe5\xa4\x87", 7) << QStringLiteral("设");
    QTest::newRow("empty") << QByteArray() << QString();
}

void TestDeviceRow::deviceFieldText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(::deviceFieldText(bytes), text);
}

void TestDeviceRow::displayedDeviceName_data()
{
    QTest::addColumn<QString>("reported");
    QTest::addColumn<QString>("shown");

    const QString model = QStringLiteral("KVR-CTL700-MQ16TRB");
    QTest::newRow("model name mapped") << QStringLiteral("CTR516-K") << model;
    QTest::newRow("surrounding blanks") << QStringLiteral("  CTR516-K  ") << model;
    QTest::newRow("tab and newline around it") << QStringLiteral("\tCTR516-K\n") << model;
    QTest::newRow("lower case is not the model")
        << QStringLiteral("ctr516-k") << QStringLiteral("ctr516-k");
    QTest::newRow("inner blank is not the model")
        << QStringLiteral("CTR516 -K") << QStringLiteral("CTR516 -K");
    QTest::newRow("longer name is not the model")
        << QStringLiteral("CTR516-K2") << QStringLiteral("CTR516-K2");
    QTest::newRow("other names stay untrimmed") << QStringLiteral(" PUMP-3 ") << QStringLiteral(" PUMP-3 ");
}

void TestDeviceRow::displayedDeviceName()
{
    QFETCH(QString, reported);
    QFETCH(QString, shown);
    QCOMPARE(::displayedDeviceName(reported), shown);
}

void TestDeviceRow::macBytesToText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("upper-case pairs") << hex("50E549CE2E4A") << QStringLiteral("50:E5:49:CE:2E:4A");
    QTest::newRow("small bytes get a leading 0") << hex("000102030A0F") << QStringLiteral("00:01:02:03:0A:0F");
    QTest::newRow("high bytes are not sign-extended") << hex("FF80FFFFFFFF") << QStringLiteral("FF:80:FF:FF:FF:FF");
    QTest::newRow("one byte has no colon") << hex("AB") << QStringLiteral("AB");
    QTest::newRow("empty") << QByteArray() << QString();
}

void TestDeviceRow::macBytesToText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(::macBytesToText(bytes), text);
}

void TestDeviceRow::bytesToDottedText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("address without leading zeros") << hex("C0A80102") << QStringLiteral("192.168.1.2");
    QTest::newRow("mask") << hex("FFFFFF00") << QStringLiteral("255.255.255.0");
    QTest::newRow("single zero byte") << hex("00") << QStringLiteral("0");
    QTest::newRow("two-digit values") << hex("0A63") << QStringLiteral("10.99");
    QTest::newRow("any length") << hex("0102030405") << QStringLiteral("1.2.3.4.5");
    QTest::newRow("high bytes are unsigned") << hex("80FE") << QStringLiteral("128.254");
    QTest::newRow("empty") << QByteArray() << QString();
}

void TestDeviceRow::bytesToDottedText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(::bytesToDottedText(bytes), text);
}

void TestDeviceRow::rowFromShortestReply()
{
    // An accepted reply without version and points: the record's other fields fill the columns.
    const Frame::DeviceReply record{"SERVO", hex("0010A4000001"), QByteArray(" CTR516-K"), {},
                                    hex("0A000005FFFF0000 0A000001"), {}};
    const DeviceRowTexts row = deviceRowTexts(record);
    QCOMPARE(row.typeText, QStringLiteral("SERVO"));
    QCOMPARE(row.nameText, QStringLiteral("KVR-CTL700-MQ16TRB"));
    QCOMPARE(row.reportedName, QStringLiteral(" CTR516-K"));
    QCOMPARE(row.ipText, QStringLiteral("10.0.0.5"));
    QCOMPARE(row.macText, QStringLiteral("00:10:A4:00:00:01"));
    QCOMPARE(row.maskText, QStringLiteral("255.255.0.0"));
    QCOMPARE(row.gatewayText, QStringLiteral("10.0.0.1"));
    QVERIFY(row.versionText.isEmpty());
    // The reported name keeps the device's bytes even where they are not UTF-8 or follow a zero.
    const QByteArray latin1Name = QByteArrayLiteral("PR\xC9SSE\0-01");
    QCOMPARE(deviceRowTexts({"PLC", hex("0010A4000001"), latin1Name, {}, hex("0A000005FFFF00000A000001"), {}})
                 .reportedName.toLatin1(),
             latin1Name);
    QVERIFY(row.pointsText.isEmpty());
}

QTEST_GUILESS_MAIN(TestDeviceRow)
#include "tst_devicerow.moc"
