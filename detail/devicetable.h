#pragma once

#include "protocol/addresscheck.h"

#include <QList>
#include <QString>
#include <QtCore/qnamespace.h>

#include <optional>

class QTableWidget;
class QTableWidgetItem;

// The device table's columns, read back by index.
namespace DeviceColumn {
enum : int { Type = 0, Name, IpAddress, Mac, SubnetMask, Gateway, Version, Points, Count };
}

// The name a device reported, kept on the name cell (the name column may show a model text instead).
inline constexpr int ReportedNameRole = Qt::UserRole + 1;
// The interface index of the adapter the device answered on, kept on the IP address cell: LED and
// write frames reach a device outside that adapter's subnet by broadcast on it. 0: none (the sample row).
inline constexpr int AdapterRole = Qt::UserRole + 2;

// The main window's device table, stored each time a detail window opens. Read only through the
// functions below.
extern QTableWidget *g_deviceTable;

// The item in the given column of the device table's current row, or null when there is no
// table, no current row or no item there (a refresh may have emptied the table).
QTableWidgetItem *currentRowItem(int column);

// The MAC text of the current row, or nothing when that cell is missing.
std::optional<QString> currentRowMac();

// Every device the table lists, as the address checks take them: the IP address, the MAC and the
// name as shown. A row whose IP or MAC text cannot be read is left out.
QList<AddressCheck::KnownDevice> listedDevices();
