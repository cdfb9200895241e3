#pragma once

#include "protocol/frame.h"

#include <QByteArray>
#include <QString>

// The texts of one row of the device table, as the user sees them, and the name the device
// itself reported (the name column may show a model text instead).
struct DeviceRowTexts
{
    QString typeText;
    QString nameText;
    QString ipText;
    QString macText;
    QString maskText;
    QString gatewayText;
    QString versionText;
    QString pointsText;
    QString reportedName; // the name's bytes as Latin-1, one character each
    int interfaceIndex = 0; // of the adapter the reply came in on; 0: none, or not known

    // The text of the given device table column (DeviceColumn::...).
    QString cellText(int column) const;
};

// A text field of a device reply: its bytes up to the first zero byte (or all of them), as UTF-8.
// Not trimmed.
QString deviceFieldText(const QByteArray &bytes);

// The name to show for a reported device name: one controller model reports an internal name
// that the users do not know it by.
QString displayedDeviceName(const QString &reportedName);

// The row for an accepted device reply.
DeviceRowTexts deviceRowTexts(const Frame::DeviceReply &record);

// The fixed sample row that the debug action adds, for trying the tool without a device.
DeviceRowTexts sampleDeviceRow();
