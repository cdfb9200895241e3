#include "simdevice.h"

#include "protocol/conversions.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace DevSim {

namespace {

constexpr int MinNameSize = 6;
constexpr int MaxNameSize = 16;
constexpr int MacSize = 6;

// Both ends of a subnet are no host's address.
bool isNetworkAddress(quint32 address, quint32 mask)
{
    return (address & ~mask) == 0;
}

bool isBroadcastAddress(quint32 address, quint32 mask)
{
    return (address | mask) == 0xFFFFFFFFu;
}

std::optional<QString> hostAddressProblem(quint32 address, quint32 mask, const QString &what)
{
    const quint32 firstOctet = address >> 24;
    if (firstOctet == 0 || firstOctet == 127 || firstOctet >= 224)
        return QStringLiteral("%1 %2 is not a unicast host address").arg(what, ipv4Text(address));
    if (isNetworkAddress(address, mask))
        return QStringLiteral("%1 %2 is the subnet's network address").arg(what, ipv4Text(address));
    if (isBroadcastAddress(address, mask))
        return QStringLiteral("%1 %2 is the subnet's broadcast address").arg(what, ipv4Text(address));
    return std::nullopt;
}

// "3.1.4" -> 03 01 04; an empty text is an empty (but present) value.
std::optional<QByteArray> parseDottedBytes(const QString &text)
{
    QByteArray bytes("");
    if (text.isEmpty())
        return bytes;
    for (const QString &group : text.split(u'.')) {
        const bool digitsOnly = std::all_of(group.cbegin(), group.cend(), [](QChar c) {
            return c >= u'0' && c <= u'9';
        });
        if (group.isEmpty() || group.size() > 3 || !digitsOnly || group.toUInt() > 255)
            return std::nullopt;
        bytes.append(char(group.toUInt()));
    }
    return bytes;
}

std::optional<quint8> parseTypeCode(const QJsonValue &value)
{
    if (value.isDouble()) {
        const double code = value.toDouble();
        if (code >= 0 && code <= 255 && code == int(code))
            return quint8(code);
        return std::nullopt;
    }
    const QString text = value.toString();
    for (quint8 code = 1; code < 255; ++code) {
        const QByteArray name = Frame::devTypeText(code);
        if (name.isEmpty())
            break;
        if (text.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return code;
    }
    bool ok = false;
    const uint code = text.toUInt(&ok, 10);
    if (ok && code <= 255 && !text.startsWith(u'+') && text == text.trimmed())
        return quint8(code);
    return std::nullopt;
}

std::optional<quint32> parseIPv4(const QJsonValue &value)
{
    const QHostAddress address = decimalIPv4Address(value.toString());
    if (address.isNull())
        return std::nullopt;
    return address.toIPv4Address();
}

// One device from its keys; on failure the reason, without the device's position.
struct ParsedDevice
{
    SimDevice device;
    QString error;
};

ParsedDevice parseDevice(const QJsonObject &object)
{
    static const QStringList keys{QStringLiteral("type"), QStringLiteral("name"), QStringLiteral("mac"),
                                  QStringLiteral("ip"),   QStringLiteral("mask"), QStringLiteral("gateway"),
                                  QStringLiteral("version"), QStringLiteral("points"),
                                  QStringLiteral("ignores-broadcast"), QStringLiteral("second-ip"),
                                  QStringLiteral("answers-from"), QStringLiteral("impersonates"),
                                  QStringLiteral("restart-delay-ms")};
    ParsedDevice parsed;
    const auto fail = [&parsed](const QString &error) {
        parsed.error = error;
        return parsed;
    };
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!keys.contains(it.key()))
            return fail(QStringLiteral("unknown key \"%1\" (known: %2)").arg(it.key(), keys.join(u' ')));
    }
    for (int required = 0; required < 6; ++required) {
        if (!object.contains(keys.at(required)))
            return fail(QStringLiteral("\"%1\" is missing").arg(keys.at(required)));
    }

    SimDevice &device = parsed.device;
    const std::optional<quint8> type = parseTypeCode(object.value(QLatin1String("type")));
    if (!type)
        return fail(QStringLiteral("type must be PLC, HMI, SERVO, VFD or a code 0 to 255"));
    device.typeCode = *type;

    device.name = object.value(QLatin1String("name")).toString().toLatin1();
    if (const auto problem = nameProblem(device.name))
        return fail(*problem);

    const std::optional<QByteArray> mac = parseMacText(object.value(QLatin1String("mac")).toString());
    if (!mac)
        return fail(QStringLiteral("mac must be six hex pairs such as 02:4B:56:10:00:01"));
    device.mac = *mac;
    if (const auto problem = macProblem(device.mac))
        return fail(*problem);

    const auto ip = parseIPv4(object.value(QLatin1String("ip")));
    const auto mask = parseIPv4(object.value(QLatin1String("mask")));
    const auto gateway = parseIPv4(object.value(QLatin1String("gateway")));
    if (!ip || !mask || !gateway)
        return fail(QStringLiteral("ip, mask and gateway must be dotted quads such as 198.18.0.10"));
    device.net = {*ip, *mask, *gateway};
    if (const auto problem = netConfigProblem(device.net))
        return fail(*problem);

    for (const auto &[key, target] : {std::pair{QLatin1String("version"), &device.version},
                                      std::pair{QLatin1String("points"), &device.points}}) {
        if (!object.contains(key))
            continue;
        const std::optional<QByteArray> bytes = parseDottedBytes(object.value(key).toString());
        if (!bytes)
            return fail(QStringLiteral("%1 must be byte values 0 to 255 joined by '.'").arg(key));
        *target = *bytes;
    }

    for (const auto &[key, target] : {std::pair{QLatin1String("ignores-broadcast"), &device.ignoresBroadcast},
                                      std::pair{QLatin1String("impersonates"), &device.impersonates}}) {
        const QJsonValue value = object.value(key);
        const QString text = value.toString();
        if (value.isBool())
            *target = value.toBool();
        else if (text == QLatin1String("true") || text == QLatin1String("false"))
            *target = text == QLatin1String("true");
        else if (!value.isUndefined())
            return fail(QStringLiteral("%1 must be true or false").arg(key));
    }
    for (const auto &[key, target] : {std::pair{QLatin1String("second-ip"), &device.secondIp},
                                      std::pair{QLatin1String("answers-from"), &device.answersFrom}}) {
        if (!object.contains(key))
            continue;
        *target = parseIPv4(object.value(key));
        if (!*target)
            return fail(QStringLiteral("%1 must be a dotted quad such as 198.18.0.10").arg(key));
    }
    const QJsonValue delay = object.value(QLatin1String("restart-delay-ms"));
    if (!delay.isUndefined()) {
        bool ok = delay.isDouble();
        const double ms = ok ? delay.toDouble() : delay.toString().toDouble(&ok);
        if (!ok || ms < 0 || ms > 600000 || ms != int(ms))
            return fail(QStringLiteral("restart-delay-ms must be a whole number 0 to 600000"));
        device.restartDelayMs = int(ms);
    }
    return parsed;
}

template<typename Label>
DeviceList devicesFromObjects(const QList<QJsonObject> &objects, Label label)
{
    DeviceList list;
    for (int i = 0; i < objects.size(); ++i) {
        ParsedDevice parsed = parseDevice(objects.at(i));
        for (int earlier = 0; parsed.error.isEmpty() && earlier < list.devices.size(); ++earlier) {
            if (list.devices.at(earlier).mac == parsed.device.mac && !parsed.device.impersonates
                && !list.devices.at(earlier).impersonates)
                parsed.error = QStringLiteral("MAC %1 is already used by %2")
                                   .arg(macBytesToText(parsed.device.mac), label(earlier));
        }
        if (!parsed.error.isEmpty()) {
            list.devices.clear();
            list.error = label(i) + QLatin1String(": ") + parsed.error;
            return list;
        }
        list.devices.append(parsed.device);
    }
    if (list.devices.isEmpty())
        list.error = QStringLiteral("no devices given");
    return list;
}

} // namespace

std::optional<QString> netConfigProblem(const NetConfig &net)
{
    const int prefix = AddressCheck::prefixLength(net.mask);
    if (prefix < 1)
        return QStringLiteral("subnet mask %1 is not a valid prefix").arg(ipv4Text(net.mask));
    if (prefix > 30)
        return QStringLiteral("subnet mask %1 leaves no room for a host and a gateway").arg(ipv4Text(net.mask));
    if (auto problem = hostAddressProblem(net.ip, net.mask, QStringLiteral("IP address")))
        return problem;
    if ((net.gateway & net.mask) != (net.ip & net.mask))
        return QStringLiteral("gateway %1 is outside the subnet %2").arg(ipv4Text(net.gateway), AddressCheck::subnetText(net));
    if (net.gateway == net.ip)
        return QStringLiteral("gateway %1 is the device's own address").arg(ipv4Text(net.gateway));
    return hostAddressProblem(net.gateway, net.mask, QStringLiteral("gateway"));
}

std::optional<QString> nameProblem(const QByteArray &name)
{
    if (name.size() < MinNameSize || name.size() > MaxNameSize)
        return QStringLiteral("name \"%1\" has %2 characters, not 6 to 16")
            .arg(QString::fromLatin1(name), QString::number(name.size()));
    for (char c : name) {
        if (c < 0x20 || c > 0x7E)
            return QStringLiteral("name contains the byte 0x%1, not printable ASCII")
                .arg(quint8(c), 2, 16, QLatin1Char('0'));
    }
    if (name.front() == ' ' || name.back() == ' ')
        return QStringLiteral("name \"%1\" starts or ends with a blank").arg(QString::fromLatin1(name));
    return std::nullopt;
}

std::optional<QString> macProblem(const QByteArray &mac)
{
    if (mac.size() != MacSize)
        return QStringLiteral("MAC has %1 bytes, not 6").arg(mac.size());
    if (mac.count('\0') == MacSize)
        return QStringLiteral("MAC 00:00:00:00:00:00 is no device's address");
    if (quint8(mac.at(0)) & 0x01)
        return QStringLiteral("MAC %1 is a group address, not a device's").arg(macBytesToText(mac));
    return std::nullopt;
}

Frame::DeviceReply replyFields(const SimDevice &device)
{
    return {{}, device.mac, device.name, device.version, AddressCheck::settingsBytes(device.net), device.points};
}

QString deviceLabel(const SimDevice &device)
{
    return QStringLiteral("\"%1\" %2").arg(QString::fromLatin1(device.name), macBytesToText(device.mac));
}

QString deviceSummary(const SimDevice &device)
{
    const QByteArray type = Frame::devTypeText(device.typeCode);
    QString summary = QStringLiteral("%1 %2 %3")
                          .arg(type.isEmpty() ? QStringLiteral("type %1").arg(device.typeCode)
                                              : QString::fromLatin1(type),
                               deviceLabel(device), AddressCheck::settingsText(device.net));
    if (!device.version.isNull())
        summary += QLatin1String(" version ") + bytesToDottedText(device.version);
    if (!device.points.isNull())
        summary += QLatin1String(" points ") + bytesToDottedText(device.points);
    if (device.ignoresBroadcast)
        summary += QLatin1String(", ignores broadcast LED and write frames");
    if (device.impersonates)
        summary += QLatin1String(", impersonates the device with its MAC");
    if (device.secondIp)
        summary += QLatin1String(", answers twice, the second time as ") + ipv4Text(*device.secondIp);
    if (device.answersFrom)
        summary += QLatin1String(", answers from ") + ipv4Text(*device.answersFrom);
    if (device.restartDelayMs > 0)
        summary += QStringLiteral(", restarts %1 ms after a write").arg(device.restartDelayMs);
    return summary;
}

DeviceList devicesFromJson(const QByteArray &json)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return {{}, QStringLiteral("not valid JSON: %1 at offset %2")
                            .arg(parseError.errorString(), QString::number(parseError.offset))};
    const QJsonValue devices = document.object().value(QLatin1String("devices"));
    if (!document.isObject() || !devices.isArray())
        return {{}, QStringLiteral("expected an object with a \"devices\" array")};

    QList<QJsonObject> objects;
    for (const QJsonValue &entry : devices.toArray()) {
        if (!entry.isObject())
            return {{}, QStringLiteral("device %1: not an object").arg(objects.size() + 1)};
        objects.append(entry.toObject());
    }
    return devicesFromObjects(objects, [](int index) { return QStringLiteral("device %1").arg(index + 1); });
}

DeviceList devicesFromOptions(const QStringList &options)
{
    QList<QJsonObject> objects;
    for (const QString &option : options) {
        QJsonObject object;
        for (const QString &pair : option.split(u',')) {
            const qsizetype equals = pair.indexOf(u'=');
            if (equals <= 0)
                return {{}, QStringLiteral("--device %1: \"%2\" is not key=value").arg(objects.size() + 1).arg(pair)};
            object.insert(pair.left(equals).trimmed(), pair.mid(equals + 1).trimmed());
        }
        objects.append(object);
    }
    return devicesFromObjects(objects, [](int index) { return QStringLiteral("--device %1").arg(index + 1); });
}

QList<SimDevice> generatedDevices(int count)
{
    static const char *const typeNames[] = {"PLC", "HMI", "SERVO", "VFD"};
    QList<SimDevice> devices;
    for (int number = 1; number <= count; ++number) {
        SimDevice device;
        device.typeCode = quint8(1 + (number - 1) % 4);
        device.name = QByteArray("GEN-") + typeNames[device.typeCode - 1] + '-'
                      + QByteArray::number(number).rightJustified(4, '0');
        device.mac = QByteArray::fromHex("024B56F00000");
        device.mac[4] = char(number >> 8);
        device.mac[5] = char(number);
        // .1 to .254 of 198.18.1.0/24, then of 198.18.2.0/24, and so on
        const quint32 index = quint32(number - 1);
        device.net = {0xC6120101u + index + index / 254 * 2, 0xFFFF0000u, 0xC61200FEu};
        device.version = QByteArray::fromHex("01000000");
        if (device.typeCode == 1)
            device.points = QByteArray::fromHex("00100008");
        devices.append(device);
    }
    return devices;
}

} // namespace DevSim
