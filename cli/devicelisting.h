#pragma once

#include "commissioning/adapters.h"
#include "commissioning/founddevice.h"

#include <QList>
#include <QString>
#include <QStringList>

// The device list of a search in its three formats: a table for people, JSON (one document with a
// schema version) and CSV (a header row, then the columns of an address plan first, so that the
// file can be edited and applied).
namespace Cli::DeviceListing {

enum class Format { Table, Json, Csv };

// Ordered by IP address, then MAC.
QString format(Format format, QList<FoundDevice> devices, const QList<Adapters::Adapter> &adapters, int rounds);

} // namespace Cli::DeviceListing
