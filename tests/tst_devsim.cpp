// The device simulator's logic without sockets: device lists, the checks a careful device makes,
// and its strict reading of the frames a tool sends.

#include "protocol/frame.h"
#include "simdevice.h"
#include "support/testsupport.h"
#include "toolframe.h"

#include <QFile>
#include <QSet>
#include <QTest>
#include <QtEndian>

using kvrtest::hex;
using kvrtest::rawFrame;
using DevSim::NetConfig;

namespace {

quint32 ip(const char *text)
{
    quint32 address = 0;
    for (const QByteArray &group : QByteArray(text).split('.'))
        address = (address << 8) | group.toUInt();
    return address;
}

QByteArray deviceJson(const QByteArray &fields)
{
    return "{\"devices\": [{" + fields + "}]}";
}

const QByteArray validFields = R"("type": "PLC", "name": "FILLER-PLC-02", "mac": "02:4B:56:10:00:02",
    "ip": "198.18.0.11", "mask": "255.255.255.0", "gateway": "198.18.0.254")";

DevSim::SimDevice plc()
{
    DevSim::SimDevice device;
    device.typeCode = 1;
    device.name = "FILLER-PLC-02";
    device.mac = hex("024B56100002");
    device.net = {ip("198.18.0.11"), ip("255.255.255.0"), ip("198.18.0.254")};
    return device;
}

// A write frame as the tool builds it from the detail window's texts.
QByteArray writeFrame(const QString &name, const QString &address, const QString &mask, const QString &gateway,
                      const QString &mac = QStringLiteral("02:4B:56:10:00:02"))
{
    return Frame::encodeWrite(Frame::writeValuesFromTexts({QStringLiteral("02:4B:56:10:00:02"), mac, name,
                                                           address, mask, gateway}),
                              4);
}

QByteArray withLengthField(QByteArray frame)
{
    qToBigEndian(quint32(frame.size()), frame.data() + 10);
    return frame;
}

} // namespace

Q_DECLARE_METATYPE(NetConfig)
Q_DECLARE_METATYPE(Frame::WriteValues)

class TestDevSim : public QObject
{
    Q_OBJECT

private slots:
    void sampleFileLoads();
    void deviceListErrors_data();
    void deviceListErrors();
    void deviceOptions();
    void generatedDevices();

    void netConfigChecks_data();
    void netConfigChecks();
    void nameAndMacChecks();

    void toolFramesRead_data();
    void toolFramesRead();
    void malformedFramesRefused_data();
    void malformedFramesRefused();

    void writeChecks_data();
    void writeChecks();

    void repliesAreAcceptedByTheTool();
    void junkIsNeverAcceptedAsAReply();
};

void TestDevSim::sampleFileLoads()
{
    QFile file(QStringLiteral(KVR_SAMPLE_DEVICES));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const DevSim::DeviceList list = DevSim::devicesFromJson(file.readAll());
    QVERIFY2(list.ok(), qPrintable(list.error));
    QCOMPARE(list.devices.size(), 5);

    // Every type of device, names the tool accepts, addresses in 198.18.0.0/15.
    QList<quint8> types;
    for (const DevSim::SimDevice &device : list.devices) {
        types.append(device.typeCode);
        QVERIFY(device.name.size() >= 6 && device.name.size() <= 16);
        QCOMPARE(device.net.address >> 17, ip("198.18.0.0") >> 17);
    }
    QCOMPARE(types, (QList<quint8>{1, 1, 2, 3, 4}));
    QCOMPARE(list.devices[1].version, hex("01030200"));
    QCOMPARE(list.devices[1].points, hex("00200018"));
    QVERIFY(list.devices[4].version.isNull());
    QVERIFY(list.devices[4].points.isNull());
}

void TestDevSim::deviceListErrors_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("error");

    QTest::newRow("not JSON") << QByteArray("{\"devices\": [") << "not valid JSON";
    QTest::newRow("no devices array") << QByteArray("{\"device\": []}") << "\"devices\" array";
    QTest::newRow("empty list") << QByteArray("{\"devices\": []}") << "no devices given";
    QTest::newRow("entry not an object") << QByteArray("{\"devices\": [3]}") << "device 1: not an object";
    QTest::newRow("misspelt key") << deviceJson(validFields + ", \"gatway\": \"1.2.3.4\"") << "unknown key \"gatway\"";
    QTest::newRow("missing gateway")
        << deviceJson(R"("type": "PLC", "name": "FILLER-PLC-02", "mac": "02:4B:56:10:00:02",
                         "ip": "198.18.0.11", "mask": "255.255.255.0")")
        << "\"gateway\" is missing";
    QTest::newRow("unknown type name") << deviceJson(QByteArray(validFields).replace("\"PLC\"", "\"DCS\"")) << "type must be";
    QTest::newRow("type code above 255") << deviceJson(QByteArray(validFields).replace("\"PLC\"", "256")) << "type must be";
    QTest::newRow("five-letter name") << deviceJson(QByteArray(validFields).replace("FILLER-PLC-02", "SHORT"))
                                      << "has 5 characters, not 6 to 16";
    QTest::newRow("MAC with dashes") << deviceJson(QByteArray(validFields).replace("02:4B:56:10:00:02", "02-4B-56-10-00-02"))
                                     << "six hex pairs";
    QTest::newRow("group MAC") << deviceJson(QByteArray(validFields).replace("02:4B", "03:4B")) << "group address";
    QTest::newRow("octet above 255") << deviceJson(QByteArray(validFields).replace("198.18.0.11", "198.18.0.256"))
                                     << "dotted quads";
    QTest::newRow("gateway in another subnet")
        << deviceJson(QByteArray(validFields).replace("198.18.0.254", "198.18.1.254"))
        << "device 1: gateway 198.18.1.254 is outside the subnet 198.18.0.0/24";
    QTest::newRow("version byte above 255") << deviceJson(validFields + ", \"version\": \"1.256\"") << "version must be";
    QTest::newRow("points with a blank group") << deviceJson(validFields + ", \"points\": \"1..2\"") << "points must be";
    QTest::newRow("two devices with one MAC")
        << "{\"devices\": [{" + validFields + "}, {" + QByteArray(validFields).replace("198.18.0.11", "198.18.0.12") + "}]}"
        << "device 2: MAC 02:4B:56:10:00:02 is already used by device 1";
}

void TestDevSim::deviceListErrors()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, error);
    const DevSim::DeviceList list = DevSim::devicesFromJson(json);
    QVERIFY(!list.ok());
    QVERIFY(list.devices.isEmpty());
    QVERIFY2(list.error.contains(error), qPrintable(list.error));
}

void TestDevSim::deviceOptions()
{
    DevSim::DeviceList list = DevSim::devicesFromOptions(
        {QStringLiteral("type=vfd,name=PUMP-VFD-01,mac=02:4b:56:40:00:01,ip=198.18.0.41,mask=255.255.255.0,"
                        "gateway=198.18.0.254,version="),
         QStringLiteral("type=7, name=ODD-DEVICE, mac=02:4B:56:70:00:01, ip=198.19.1.2, mask=255.255.0.0, "
                        "gateway=198.19.0.1, points=1.2.3")});
    QVERIFY2(list.ok(), qPrintable(list.error));
    QCOMPARE(list.devices[0].typeCode, quint8(4));
    QCOMPARE(list.devices[0].mac, hex("024B56400001"));
    // An empty version is a field of no bytes, which is not the same as no field at all.
    QVERIFY(!list.devices[0].version.isNull());
    QVERIFY(list.devices[0].version.isEmpty());
    QVERIFY(list.devices[0].points.isNull());
    QCOMPARE(list.devices[1].typeCode, quint8(7));
    QCOMPARE(list.devices[1].points, hex("010203"));

    list = DevSim::devicesFromOptions({QStringLiteral("type=PLC,name")});
    QCOMPARE(list.error, QStringLiteral("--device 1: \"name\" is not key=value"));
}

void TestDevSim::generatedDevices()
{
    const QList<DevSim::SimDevice> devices = DevSim::generatedDevices(1000);
    QCOMPARE(devices.size(), 1000);
    QSet<QByteArray> macs;
    QSet<quint32> addresses;
    for (const DevSim::SimDevice &device : devices) {
        QVERIFY2(!DevSim::nameProblem(device.name), device.name.constData());
        QVERIFY(!DevSim::macProblem(device.mac));
        QVERIFY2(!DevSim::netConfigProblem(device.net), qPrintable(DevSim::deviceSummary(device)));
        QVERIFY(quint8(device.net.address) != 0 && quint8(device.net.address) != 255);
        macs.insert(device.mac);
        addresses.insert(device.net.address);
    }
    QCOMPARE(macs.size(), 1000);
    QCOMPARE(addresses.size(), 1000);
    QCOMPARE(DevSim::deviceSummary(devices[0]), QStringLiteral("PLC \"GEN-PLC-0001\" 02:4B:56:F0:00:01 198.18.1.1/16 "
                                                               "gateway 198.18.0.254 version 1.0.0.0 points 0.16.0.8"));
    QCOMPARE(DevSim::deviceSummary(devices[254]), QStringLiteral("SERVO \"GEN-SERVO-0255\" 02:4B:56:F0:00:FF "
                                                                 "198.18.2.1/16 gateway 198.18.0.254 version 1.0.0.0"));
}

void TestDevSim::netConfigChecks_data()
{
    QTest::addColumn<NetConfig>("net");
    QTest::addColumn<QString>("problem");

    const auto net = [](const char *address, const char *mask, const char *gateway) {
        return NetConfig{ip(address), ip(mask), ip(gateway)};
    };
    QTest::newRow("usual /24") << net("198.18.0.11", "255.255.255.0", "198.18.0.254") << QString();
    QTest::newRow("/30 has room for both") << net("198.18.0.1", "255.255.255.252", "198.18.0.2") << QString();
    QTest::newRow("/8") << net("10.1.2.3", "255.0.0.0", "10.0.0.1") << QString();
    QTest::newRow("mask with a hole")
        << net("198.18.0.11", "255.0.255.0", "198.18.0.254") << "subnet mask 255.0.255.0 is not a valid prefix";
    QTest::newRow("mask of zeros") << net("198.18.0.11", "0.0.0.0", "198.18.0.254")
                                   << "subnet mask 0.0.0.0 is not a valid prefix";
    QTest::newRow("mask with trailing ones") << net("198.18.0.11", "0.0.0.255", "198.18.0.254")
                                             << "subnet mask 0.0.0.255 is not a valid prefix";
    QTest::newRow("/31") << net("198.18.0.0", "255.255.255.254", "198.18.0.1")
                         << "subnet mask 255.255.255.254 leaves no room for a host and a gateway";
    QTest::newRow("/32") << net("198.18.0.11", "255.255.255.255", "198.18.0.11")
                         << "subnet mask 255.255.255.255 leaves no room for a host and a gateway";
    QTest::newRow("network address") << net("198.18.0.0", "255.255.255.0", "198.18.0.254")
                                     << "IP address 198.18.0.0 is the subnet's network address";
    QTest::newRow("broadcast address") << net("198.18.0.255", "255.255.255.0", "198.18.0.254")
                                       << "IP address 198.18.0.255 is the subnet's broadcast address";
    QTest::newRow("zero network") << net("0.0.0.5", "255.255.255.0", "0.0.0.1")
                                  << "IP address 0.0.0.5 is not a unicast host address";
    QTest::newRow("loopback") << net("127.0.0.5", "255.0.0.0", "127.0.0.1")
                              << "IP address 127.0.0.5 is not a unicast host address";
    QTest::newRow("multicast") << net("224.0.0.5", "255.255.255.0", "224.0.0.1")
                               << "IP address 224.0.0.5 is not a unicast host address";
    QTest::newRow("gateway outside the subnet") << net("198.18.0.11", "255.255.255.0", "198.18.1.1")
                                                << "gateway 198.18.1.1 is outside the subnet 198.18.0.0/24";
    QTest::newRow("gateway is the device") << net("198.18.0.11", "255.255.255.0", "198.18.0.11")
                                           << "gateway 198.18.0.11 is the device's own address";
    QTest::newRow("gateway is the broadcast address") << net("198.18.0.11", "255.255.255.0", "198.18.0.255")
                                                      << "gateway 198.18.0.255 is the subnet's broadcast address";
}

void TestDevSim::netConfigChecks()
{
    QFETCH(NetConfig, net);
    QFETCH(QString, problem);
    QCOMPARE(DevSim::netConfigProblem(net).value_or(QString()), problem);
}

void TestDevSim::nameAndMacChecks()
{
    QVERIFY(!DevSim::nameProblem("ABCDEF"));
    QVERIFY(!DevSim::nameProblem("ABCDEFGHIJKLMNOP"));
    QVERIFY(!DevSim::nameProblem("KV 516 %2"));
    QCOMPARE(*DevSim::nameProblem("AB%2"), QStringLiteral("name \"AB%2\" has 4 characters, not 6 to 16"));
    QCOMPARE(*DevSim::nameProblem("ABCDEFGHIJKLMNOPQ"), QStringLiteral("name \"ABCDEFGHIJKLMNOPQ\" has 17 characters, not 6 to 16"));
    QCOMPARE(*DevSim::nameProblem("K\xE4seREI"), QStringLiteral("name contains the byte 0xe4, not printable ASCII"));
    QCOMPARE(*DevSim::nameProblem(" ABCDEF"), QStringLiteral("name \" ABCDEF\" starts or ends with a blank"));

    QVERIFY(!DevSim::macProblem(hex("024B56100002")));
    QCOMPARE(*DevSim::macProblem(hex("024B561000")), QStringLiteral("MAC has 5 bytes, not 6"));
    QCOMPARE(*DevSim::macProblem(hex("000000000000")), QStringLiteral("MAC 00:00:00:00:00:00 is no device's address"));
    QCOMPARE(*DevSim::macProblem(hex("FFFFFFFFFFFF")), QStringLiteral("MAC FF:FF:FF:FF:FF:FF is a group address, not a device's"));
}

void TestDevSim::toolFramesRead_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("led");
    QTest::addColumn<Frame::WriteValues>("write");

    const QByteArray mac = hex("024B56100002");
    QTest::newRow("the tool's search") << Frame::encodeSearch(0) << int(DevSim::ToolCommand::Search) << 0
                                       << Frame::WriteValues{};
    QTest::newRow("the tool's flash command") << Frame::encodeLed(mac, Frame::LedCommand::Flash, 1)
                                              << int(DevSim::ToolCommand::Led) << 2 << Frame::WriteValues{};
    QTest::newRow("the tool's off command") << Frame::encodeLed(mac, Frame::LedCommand::Off, 2)
                                            << int(DevSim::ToolCommand::Led) << 0 << Frame::WriteValues{};
    QTest::newRow("LED fields in the other order") << rawFrame(0xF0, 2, {{6, hex("0002")}, {8, mac}})
                                                   << int(DevSim::ToolCommand::Led) << 2 << Frame::WriteValues{};
    QTest::newRow("the tool's write")
        << writeFrame(QStringLiteral("FILLER-PLC-02"), QStringLiteral("198.18.0.50"), QStringLiteral("255.255.255.0"),
                      QStringLiteral("198.18.0.254"))
        << int(DevSim::ToolCommand::Write) << 0
        << Frame::WriteValues{mac, mac, "FILLER-PLC-02   ", hex("C6120032 FFFFFF00 C61200FE")};
}

void TestDevSim::toolFramesRead()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, kind);
    QFETCH(int, led);
    QFETCH(Frame::WriteValues, write);

    const DevSim::ParsedToolFrame parsed = DevSim::parseToolFrame(frame);
    QVERIFY2(parsed.command, qPrintable(parsed.rejection));
    QCOMPARE(int(parsed.command->kind), kind);
    if (kind == DevSim::ToolCommand::Search)
        return;
    QCOMPARE(parsed.command->targetMac, hex("024B56100002"));
    if (kind == DevSim::ToolCommand::Led) {
        QCOMPARE(int(parsed.command->led), led);
        return;
    }
    QCOMPARE(parsed.command->write.targetMac, write.targetMac);
    QCOMPARE(parsed.command->write.mac, write.mac);
    QCOMPARE(parsed.command->write.name, write.name);
    QCOMPARE(parsed.command->write.netAddr, write.netAddr);
}

void TestDevSim::malformedFramesRefused_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("rejection");

    const QByteArray mac = hex("024B56100002");
    const QByteArray net = hex("C6120032 FFFFFF00 C61200FE");
    QByteArray badMagic = Frame::encodeSearch(0);
    badMagic[5] = 'l';
    QByteArray countZero = Frame::encodeSearch(0);
    countZero[9] = 0;
    QByteArray countSeven = Frame::encodeSearch(0);
    countSeven[9] = 7;
    QByteArray lengthOneMore = Frame::encodeSearch(0);
    lengthOneMore[13] = 47;

    QTest::newRow("runt") << QByteArray(17, 'K') << "17 bytes are too short for a header";
    QTest::newRow("bad magic") << badMagic << "not a KORVEL frame";
    QTest::newRow("length field one more than the size") << lengthOneMore << "declared length 47 differs from its size 46";
    QTest::newRow("the tool's LED frame for an empty MAC text")
        << Frame::encodeLed(QByteArray(), Frame::LedCommand::Flash, 0) << "declared length 42 differs from its size 36";
    QTest::newRow("the tool's write with an incomplete address")
        << writeFrame(QStringLiteral("FILLER-PLC-02"), QStringLiteral("198.18.0"), QStringLiteral("255.255.255.0"),
                      QStringLiteral("198.18.0.254"))
        << "declared length 90 differs from its size 89";
    QTest::newRow("the tool's write with a malformed MAC text")
        << writeFrame(QStringLiteral("FILLER-PLC-02"), QStringLiteral("198.18.0.50"), QStringLiteral("255.255.255.0"),
                      QStringLiteral("198.18.0.254"), QStringLiteral("02/4B/56/10/00/02"))
        << "declared length 90 differs from its size 93";
    QTest::newRow("count 0") << countZero << "field count 0 is outside 1 to 6";
    QTest::newRow("count 7") << countSeven << "field count 7 is outside 1 to 6";
    QTest::newRow("another device's reply")
        << Frame::encodeReply(2, DevSim::replyFields(plc()), 0) << "sent by a device (type code 2), not by a tool";
    QTest::newRow("type 7") << rawFrame(0xF0, 1, {{7, std::nullopt}}) << "field 1 has the unknown type 7";
    QTest::newRow("type 9") << rawFrame(0xF0, 2, {{8, mac}, {9, hex("0002")}}) << "field 2 has the unknown type 9";
    QTest::newRow("negative type") << rawFrame(0xF0, 1, {{-1, hex("00")}}) << "field 1 has the unknown type -1";
    QTest::newRow("reply-only type") << rawFrame(0xF0, 1, {{3, hex("01")}}) << "fields of types 3 make no known command";
    QTest::newRow("write without a name") << rawFrame(0xF0, 3, {{8, mac}, {1, mac}, {4, net}})
                                          << "fields of types 8, 1, 4 make no known command";
    QTest::newRow("repeated type") << rawFrame(0xF0, 2, {{0, hex("00000001")}, {0, hex("00000002")}})
                                   << "field type 0 appears twice";
    QTest::newRow("fewer fields than counted") << rawFrame(0xF0, 2, {{0, hex("00000001")}})
                                               << "field 2 of 2 is missing";
    QTest::newRow("value past the end")
        << withLengthField(rawFrame(0xF0, 1, {{0, hex("00000001")}}).chopped(1)) << "field 1 (type 0) runs past the end";
    QTest::newRow("null value") << withLengthField(rawFrame(0xF0, 1, {{0, std::nullopt}}) + hex("FFFFFFFF"))
                                << "field 1 (type 0) has no value";
    QTest::newRow("bytes after the last field") << withLengthField(Frame::encodeSearch(0) + "xx")
                                                << "2 stray bytes after the last field";
    QTest::newRow("LED command 1") << rawFrame(0xF0, 2, {{8, mac}, {6, hex("0001")}})
                                   << "LED command 1 is neither 0 (off) nor 2 (flash)";
    QTest::newRow("LED value of 4 bytes") << rawFrame(0xF0, 2, {{8, mac}, {6, hex("00000002")}})
                                          << "LED value has 4 bytes, not 2";
    QTest::newRow("LED for a 5-byte MAC") << rawFrame(0xF0, 2, {{8, mac.left(5)}, {6, hex("0002")}})
                                          << "target MAC has 5 bytes, not 6";
    QTest::newRow("write with a 15-byte name")
        << rawFrame(0xF0, 4, {{8, mac}, {1, mac}, {2, "ABCDEFGHIJKLMNO"}, {4, net}}) << "name has 15 bytes, not 16";
    QTest::newRow("write with a 7-byte MAC")
        << rawFrame(0xF0, 4, {{8, mac}, {1, mac + 'x'}, {2, "ABCDEFGHIJKLMNOP"}, {4, net}})
        << "MAC to set has 7 bytes, not 6";
    QTest::newRow("write with 13 address bytes")
        << rawFrame(0xF0, 4, {{8, mac}, {1, mac}, {2, "ABCDEFGHIJKLMNOP"}, {4, net + 'x'}})
        << "network value has 13 bytes, not 12";
}

void TestDevSim::malformedFramesRefused()
{
    QFETCH(QByteArray, frame);
    QFETCH(QString, rejection);
    const DevSim::ParsedToolFrame parsed = DevSim::parseToolFrame(QByteArray::fromRawData(frame.constData(), frame.size()));
    QVERIFY(!parsed.command);
    QCOMPARE(parsed.rejection, rejection);
}

void TestDevSim::writeChecks_data()
{
    QTest::addColumn<Frame::WriteValues>("write");
    QTest::addColumn<QString>("refusal");

    const auto write = [](const char *name, const char *address, const char *mask, const char *gateway,
                          const char *mac = "02:4B:56:10:00:02") {
        return Frame::writeValuesFromTexts({QStringLiteral("02:4B:56:10:00:02"), QString::fromLatin1(mac),
                                            QString::fromLatin1(name), QString::fromLatin1(address),
                                            QString::fromLatin1(mask), QString::fromLatin1(gateway)});
    };
    QTest::newRow("new address, padding removed from the name")
        << write("FILLER-PLC-02", "198.18.0.50", "255.255.255.0", "198.18.0.254") << QString();
    QTest::newRow("new subnet and gateway") << write("ABCDEF", "198.19.7.7", "255.255.0.0", "198.19.0.1") << QString();
    QTest::newRow("new MAC of its own") << write("ABCDEF", "198.18.0.50", "255.255.255.0", "198.18.0.254",
                                                 "02:4B:56:10:00:99")
                                        << QString();
    QTest::newRow("name too short once unpadded") << write("ABC", "198.18.0.50", "255.255.255.0", "198.18.0.254")
                                                  << "name \"ABC\" has 3 characters, not 6 to 16";
    QTest::newRow("Latin-1 letter in the name") << write("K\xE4seREI", "198.18.0.50", "255.255.255.0", "198.18.0.254")
                                                << "name contains the byte 0xe4, not printable ASCII";
    QTest::newRow("MAC of another device") << write("ABCDEF", "198.18.0.50", "255.255.255.0", "198.18.0.254",
                                                    "02:4B:56:20:00:01")
                                           << "MAC 02:4B:56:20:00:01 belongs to another device";
    QTest::newRow("broadcast MAC") << write("ABCDEF", "198.18.0.50", "255.255.255.0", "198.18.0.254",
                                            "FF:FF:FF:FF:FF:FF")
                                   << "MAC FF:FF:FF:FF:FF:FF is a group address, not a device's";
    QTest::newRow("mask with a hole") << write("ABCDEF", "198.18.0.50", "255.255.0.255", "198.18.0.254")
                                      << "subnet mask 255.255.0.255 is not a valid prefix";
    QTest::newRow("gateway outside the subnet") << write("ABCDEF", "198.18.0.50", "255.255.255.128", "198.18.0.254")
                                                << "gateway 198.18.0.254 is outside the subnet 198.18.0.0/25";
}

void TestDevSim::writeChecks()
{
    QFETCH(Frame::WriteValues, write);
    QFETCH(QString, refusal);

    const DevSim::SimDevice device = plc();
    const DevSim::WriteDecision decision = DevSim::checkWrite(device, write, {hex("024B56200001")});
    QCOMPARE(decision.refusal, refusal);
    QCOMPARE(decision.updated.has_value(), refusal.isEmpty());
    if (!decision.updated)
        return;
    QCOMPARE(decision.updated->name, write.name.trimmed());
    QCOMPARE(decision.updated->mac, write.mac);
    QCOMPARE(DevSim::netConfigBytes(decision.updated->net), write.netAddr);
    QCOMPARE(decision.updated->typeCode, device.typeCode);
}

void TestDevSim::repliesAreAcceptedByTheTool()
{
    DevSim::SimDevice device = plc();
    device.version = hex("01030200");
    device.points = hex("00200018");
    Frame::Decoded decoded = Frame::decode(Frame::encodeReply(device.typeCode, DevSim::replyFields(device), 0));
    QVERIFY(decoded.accepted);
    QCOMPARE(decoded.reply.type, QByteArray("PLC"));
    QCOMPARE(decoded.reply.mac, device.mac);
    QCOMPARE(decoded.reply.name, device.name);
    QCOMPARE(decoded.reply.netAddr, hex("C612000B FFFFFF00 C61200FE"));
    QCOMPARE(decoded.reply.swVersion, device.version);
    QCOMPARE(decoded.reply.points, device.points);
    QCOMPARE(DevSim::deviceSummary(device),
             QStringLiteral("PLC \"FILLER-PLC-02\" 02:4B:56:10:00:02 198.18.0.11/24 gateway 198.18.0.254 "
                            "version 1.3.2.0 points 0.32.0.24"));

    device.typeCode = 9;
    device.version = {};
    device.points = {};
    decoded = Frame::decode(Frame::encodeReply(device.typeCode, DevSim::replyFields(device), 0));
    QVERIFY(decoded.accepted);
    QVERIFY(decoded.reply.type.isEmpty());
    QVERIFY(decoded.reply.swVersion.isEmpty());
    QCOMPARE(DevSim::deviceSummary(device),
             QStringLiteral("type 9 \"FILLER-PLC-02\" 02:4B:56:10:00:02 198.18.0.11/24 gateway 198.18.0.254"));
}

void TestDevSim::junkIsNeverAcceptedAsAReply()
{
    QSet<int> headerResults;
    for (int i = 0; i < 200; ++i) {
        const QByteArray junk = DevSim::junkDatagram(i);
        QCOMPARE(DevSim::junkDatagram(i), junk);
        const Frame::Decoded decoded = Frame::decode(junk);
        QVERIFY2(!decoded.accepted, qPrintable(QString::number(i)));
        headerResults.insert(int(decoded.header));
    }
    // Both kinds of stray traffic: some ends the tool's receive pass, some is read and dropped.
    QCOMPARE(headerResults.size(), 5);
}

QTEST_GUILESS_MAIN(TestDevSim)
#include "tst_devsim.moc"
