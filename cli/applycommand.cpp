#include "command.h"
#include "commands.h"
#include "network.h"
#include "planrun.h"

#include <QFile>

namespace Cli {

int apply(const QStringList &arguments)
{
    Command command(QStringLiteral("apply"), QStringLiteral(R"(Writes an address plan: a CSV file with a header row naming the columns mac, ip, mask
and gateway (others, such as those search --format csv adds, are ignored) and one row
per device, for example
  mac,ip,mask,gateway
  02:4B:56:10:00:01,192.168.10.11,255.255.255.0,192.168.10.1
UTF-8 with or without a byte-order mark, LF or CRLF line ends, as spreadsheets save it.

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

    const QString path = command.parser().positionalArguments().constFirst();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return command.fail(UsageError, QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    const PlanFile::Reading reading = PlanFile::read(file.readAll());
    if (!reading.ok())
        return command.fail(UsageError, QStringLiteral("%1: %2").arg(path, reading.error));

    Network network(command);
    if (const std::optional<int> exit = network.open())
        return *exit;
    return plan.run(network, reading.rows);
}

} // namespace Cli
