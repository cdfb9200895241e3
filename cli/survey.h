#pragma once

#include "commissioning/adapters.h"
#include "commissioning/founddevice.h"

#include <QList>
#include <QStringList>

// What deserves a second look in the devices as a search found them: two devices with one IP
// address, a device holding this machine's address, a mask that is no prefix, a gateway outside the
// device's subnet (the address checks, applied to the settings already there), a device outside
// the subnet of the adapter it answered on, or sharing its address with another behind the same
// adapter, which only frames sent by broadcast reach, and a MAC that answered on two adapters or
// with two sets of settings (two devices with one MAC, or one answering in another's name). The
// devices must come from a search for every device, which knows which addresses are shared.
namespace Cli::Survey {

// One list of sentences per device, in the order of the devices.
QList<QStringList> findings(const QList<FoundDevice> &devices, const QList<Adapters::Adapter> &adapters);

} // namespace Cli::Survey
