#pragma once

#include "adapters.h"
#include "founddevice.h"
#include "planfile.h"

#include <QList>

// The checks an address plan passes before any of it is sent: first the rows among themselves
// (one row per MAC, one device per IP address), before anything goes out at all; then, row by row,
// against the devices the search found and through the address checks with this machine's
// adapters. A single write is a plan of one row. Both take time linear in the rows (times the
// devices found, for the second).
namespace PlanCheck {

// A row that gives a MAC or an IP address an earlier row already gives.
struct Repeat
{
    enum class What { Mac, Ip };
    What what = What::Mac;
    int line = 0;      // the row that repeats it
    int firstLine = 0; // the first row that has it
    QByteArray mac;    // the repeated MAC; for an IP address, the MAC of the first row
    quint32 ip = 0;    // the repeated IP address
};

// Every row that repeats a MAC or an IP address, in plan order; a row that repeats both is listed
// once, for its MAC. Each names the first line with the value, however many copies there are.
QList<Repeat> repeats(const QList<PlanFile::Row> &rows);

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
    QList<AddressCheck::Finding> refusals;
    QList<AddressCheck::Finding> warnings;
};

// The rows against the network; the plan must have no repeats (see above).
QList<RowCheck> check(const QList<PlanFile::Row> &rows, const QList<FoundDevice> &found,
                      const QList<Adapters::Adapter> &adapters);

bool refusesAny(const QList<RowCheck> &checks);

} // namespace PlanCheck
