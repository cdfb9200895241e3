#include "command.h"
#include "commands.h"
#include "devicelisting.h"
#include "network.h"
#include "textformats.h"

namespace Cli {

int search(const QStringList &arguments)
{
    Command command(QStringLiteral("search"), QStringLiteral(R"(Lists every device that answers a search on UDP port 102, once, whichever adapter
it answered on: type, name, MAC, IP address, subnet mask, gateway, version, I/O
points and adapter, then what deserves a second look (two devices with one IP
address, a gateway outside the device's subnet, a device outside the subnet of the
adapter it answered on, which LED and write frames then reach by broadcast).

The search frame goes out of every adapter chosen, as a broadcast pinned to it, in
rounds: a round ends once no reply has come for --quiet ms, and the search ends
after a round that found nothing new (at least --rounds rounds), or at --timeout.

--format csv writes the columns of an address plan first (mac,ip,mask,gateway):
edit the addresses and give the file to apply. Fields are quoted as RFC 4180 says, and
one that a spreadsheet would take for a formula (it starts with =, +, -, @, a tab or a
carriage return) starts with an apostrophe. --format jsonl writes a JSON object a
line: one per device, then a summary. In the table and in messages, control
characters in device names are shown escaped (\e, \n, \x07).)"));
    const QCommandLineOption formatOption(
        QStringLiteral("format"), QStringLiteral("Writes the list as <format>: table (default), json, jsonl or csv."),
        QStringLiteral("format"), QStringLiteral("table"));
    command.parser().addOption(formatOption);
    if (const std::optional<int> exit = command.parse(arguments))
        return *exit;
    const QString formatName = command.parser().value(formatOption);
    const QMap<QString, DeviceListing::Format> formats{{QStringLiteral("table"), DeviceListing::Format::Table},
                                                       {QStringLiteral("json"), DeviceListing::Format::Json},
                                                       {QStringLiteral("jsonl"), DeviceListing::Format::Jsonl},
                                                       {QStringLiteral("csv"), DeviceListing::Format::Csv}};
    if (!formats.contains(formatName))
        return command.fail(UsageError, QStringLiteral("--format takes table, json, jsonl or csv, not \"%1\"").arg(formatName));

    Network network(command);
    if (const std::optional<int> exit = network.open())
        return *exit;
    const std::optional<QList<FoundDevice>> devices = network.search();
    if (!devices)
        return command.fail(Environment, QStringLiteral("the search could not leave by any adapter"));
    writeOutput(command.name(), DeviceListing::format(formats.value(formatName), *devices, network.adapters(),
                                                      network.roundsSent(), devices->isEmpty() ? NotDone : Done));
    if (devices->isEmpty())
        return command.fail(NotDone, QStringLiteral("no device answered on %1").arg(network.adapterSummary()));
    return Done;
}

} // namespace Cli
