#include "command.h"
#include "commands.h"
#include "network.h"
#include "planinput.h"
#include "planrun.h"

namespace Cli {

int apply(const QStringList &arguments)
{
    Command command(QStringLiteral("apply"), QStringLiteral(R"(Writes an address plan (a file, or - for standard input): a CSV file with a header row
naming the columns mac, ip, mask and gateway (others, such as those search --format csv
adds, are ignored) and one row per device, for example
  mac,ip,mask,gateway
  02:4B:56:10:00:01,192.168.10.11,255.255.255.0,192.168.10.1
As spreadsheets save it: commas, semicolons or tabs between the fields (the header
tells which), UTF-8 with or without a byte-order mark or UTF-16 with one, LF or CRLF
line ends, values in double quotes, blank rows, rows without their empty last fields.
At most 8 MB and 100000 rows; a row that repeats a MAC or an IP address refuses the
plan before anything is sent.

One search, then the whole plan is checked before anything is sent: one row per MAC,
one row per IP address, no address another device found holds, and the address checks
of set. A refusal sends nothing at all. Rows already correct are not written. Then the
first row that needs a write is written alone and verified as set does; only when it is
verified do the others follow, back to back in plan order, with one restart wait and one
search that verifies them all (--batch-size: in groups, each verified before the next).
A write not verified stops the writes after it: they end not-sent. A plan can be
applied again safely: the second run finds every row already-correct.

Ctrl-C, SIGTERM or SIGHUP: no write leaves after the signal; the writes already sent are
still verified (a second signal ends at once), the results so far are printed, and the
exit status is 5.

Devices outside the subnet of the adapter they answered on get their write by
broadcast, naming their MAC, as set explains.)") + PlanRun::statusHelp(),
                    QStringLiteral("PLAN.csv"));
    PlanRun plan(command);
    if (const std::optional<int> exit = command.parse(arguments, 1))
        return *exit;
    if (const std::optional<int> exit = plan.readOptions())
        return *exit;

    QList<PlanFile::Row> rows;
    if (const std::optional<int> exit = PlanInput::read(command, command.parser().positionalArguments().constFirst(), rows))
        return *exit;

    Network network(command);
    if (const std::optional<int> exit = network.open())
        return *exit;
    return plan.run(network, rows);
}

} // namespace Cli
