#pragma once

#include "commissioning/adapters.h"
#include "commissioning/founddevice.h"

#include <QList>
#include <QString>
#include <QStringList>

// The device list of a search in its formats: a table for people (names and findings escaped),
// JSON (one document with a schema version), JSON lines (a device a line, then a summary with the
// exit code) and CSV (a header row, then the columns of an address plan first, so that the file
// can be edited and applied; safe to open in a spreadsheet, and read back by apply whatever the
// devices call themselves).
namespace Cli::DeviceListing {

enum class Format { Table, Json, Jsonl, Csv };

// Ordered by IP address, then MAC. `exitCode` goes into the summary line of Jsonl.
QString format(Format format, QList<FoundDevice> devices, const QList<Adapters::Adapter> &adapters, int rounds,
               int exitCode = 0);

} // namespace Cli::DeviceListing
