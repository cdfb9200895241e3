#include "devicetable.h"

#include "protocol/conversions.h"

#include <QHostAddress>
#include <QTableWidget>

QTableWidget *g_deviceTable = nullptr;

QTableWidgetItem *currentRowItem(int column)
{
    if (!g_deviceTable)
        return nullptr;
    const int row = g_deviceTable->currentRow();
    return row < 0 ? nullptr : g_deviceTable->item(row, column);
}

std::optional<QString> currentRowMac()
{
    if (const QTableWidgetItem *item = currentRowItem(DeviceColumn::Mac))
        return item->text();
    return std::nullopt;
}

QList<AddressCheck::KnownDevice> listedDevices()
{
    QList<AddressCheck::KnownDevice> devices;
    if (!g_deviceTable)
        return devices;
    for (int row = 0; row < g_deviceTable->rowCount(); ++row) {
        const auto text = [row](int column) {
            const QTableWidgetItem *item = g_deviceTable->item(row, column);
            return item ? item->text() : QString();
        };
        const QHostAddress address = decimalIPv4Address(text(DeviceColumn::IpAddress));
        const std::optional<QByteArray> mac = parseMacText(text(DeviceColumn::Mac));
        if (!address.isNull() && mac)
            devices.append({*mac, text(DeviceColumn::Name), address.toIPv4Address()});
    }
    return devices;
}
