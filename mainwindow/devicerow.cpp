#include "devicerow.h"

#include "detail/devicetable.h"
#include "protocol/conversions.h"

QString DeviceRowTexts::cellText(int column) const
{
    switch (column) {
    case DeviceColumn::Type:
        return typeText;
    case DeviceColumn::Name:
        return nameText;
    case DeviceColumn::IpAddress:
        return ipText;
    case DeviceColumn::Mac:
        return macText;
    case DeviceColumn::SubnetMask:
        return maskText;
    case DeviceColumn::Gateway:
        return gatewayText;
    case DeviceColumn::Version:
        return versionText;
    case DeviceColumn::Points:
        return pointsText;
    }
    return {};
}

QString deviceFieldText(const QByteArray &bytes)
{
    const qsizetype end = bytes.indexOf('\0');
    return QString::fromUtf8(end < 0 ? bytes : bytes.left(end));
}

QString displayedDeviceName(const QString &reportedName)
{
    if (reportedName.simplified() == QLatin1String("CTR516-K"))
        return QStringLiteral("KVR-CTL700-MQ16TRB");
    return reportedName;
}

DeviceRowTexts deviceRowTexts(const Frame::DeviceReply &record)
{
    DeviceRowTexts row;
    row.nameText = displayedDeviceName(deviceFieldText(record.name));
    // Byte for byte, so that writing it back (as Latin-1) gives the device its own name again,
    // whatever bytes it holds.
    row.reportedName = QString::fromLatin1(record.name);
    row.macText = macBytesToText(record.mac);
    row.typeText = deviceFieldText(record.type);
    row.ipText = bytesToDottedText(record.netAddr.mid(0, 4));
    row.maskText = bytesToDottedText(record.netAddr.mid(4, 4));
    row.gatewayText = bytesToDottedText(record.netAddr.mid(8, 4));
    row.versionText = bytesToDottedText(record.swVersion);
    row.pointsText = bytesToDottedText(record.points);
    return row;
}

DeviceRowTexts sampleDeviceRow()
{
    DeviceRowTexts row;
    row.typeText = QStringLiteral("PLC");
    row.nameText = QStringLiteral("KV516_K");
    row.ipText = QStringLiteral("192.168.001.002");
    row.macText = QStringLiteral("50:E5:49:CE:2E:4A");
    row.maskText = QStringLiteral("255.255.255.000");
    row.gatewayText = QStringLiteral("192.168.001.001");
    row.versionText = QStringLiteral("001.000.000.000");
    row.pointsText = QStringLiteral("00.16.00.00");
    row.reportedName = row.nameText;
    return row;
}
