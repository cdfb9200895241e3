#pragma once

#include "adapters.h"
#include "founddevice.h"
#include "planfile.h"

#include <QList>
#include <QStringList>

// The checks an address plan passes before any of it is sent, row by row: every row against the
// others (one row per MAC, one device per IP address), against the devices the search found, and
// through the address checks with this machine's adapters. A single write is a plan of one row.
namespace PlanCheck {

enum class Verdict {
    Write,          // passes: the device gets the row's settings
    AlreadyCorrect, // the device already has them: nothing is sent
    NotFound,       // passes, but no device with this MAC answered the search
    Refused,        // see refusals: nothing of the plan may be sent
};
// A plan with a refused row is refused as a whole; its other rows keep their own verdicts.

struct RowCheck
{
    Verdict verdict = Verdict::Write;
    QStringList refusals;
    QStringList warnings;
};

QList<RowCheck> check(const QList<PlanFile::Row> &rows, const QList<FoundDevice> &found,
                      const QList<Adapters::Adapter> &adapters);

bool refusesAny(const QList<RowCheck> &checks);

} // namespace PlanCheck
