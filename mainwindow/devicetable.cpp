#include "devicetable.h"

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
