#include "command.h"
#include "commands.h"
#include "network.h"
#include "planrun.h"
#include "textformats.h"

#include "protocol/conversions.h"

#include <QHostAddress>

namespace Cli {

int set(const QStringList &arguments)
{
    Command command(QStringLiteral("set"), QStringLiteral(R"(Writes a new IP address, subnet mask and gateway (0.0.0.0 for none) to the device
with this MAC (02:4B:56:10:00:01 or 02-4B-56-10-00-01), under the name it reports.

First a search: the device must answer it, and the settings must pass the address
checks (a mask that is a prefix, a host address of its subnet that no other device
found and no adapter of this machine holds, a gateway inside the subnet); a refusal
sends nothing. Then the write, then the verification: after --restart-wait, the
device is searched for until it answers or --verify-timeout passes, and the outcome
is verified (it answers with exactly the new settings), mismatch (with others: it
refused them, or, still with its old ones, it has not restarted yet: restart by hand a
device that does not restart by itself), conflict (answers for its MAC disagree),
not-seen, or not-sent (the frame could not leave). An answer counts only when it comes
in on the adapter the write left by and, for a device reached by unicast, from the
address it reports; after the first one the device is listened to for --quiet more.

A device whose address lies outside the subnet of the adapter it answered on cannot be
reached by unicast: the write goes as a broadcast out of that adapter, and reaches it
because it names its MAC. This relies on the device acting on frames addressed to its
MAC when they arrive by broadcast; one that ignores them ends not verified.

Ctrl-C, SIGTERM or SIGHUP: no write leaves after the signal; one already sent is still
verified (a second signal ends at once), the result is printed, and the exit status
is 5.)") + PlanRun::statusHelp(),
                    QStringLiteral("MAC"));
    const QCommandLineOption ipOption(QStringLiteral("ip"), QStringLiteral("The new IP address."), QStringLiteral("address"));
    const QCommandLineOption maskOption(QStringLiteral("mask"), QStringLiteral("The new subnet mask."), QStringLiteral("mask"));
    const QCommandLineOption gatewayOption(QStringLiteral("gateway"), QStringLiteral("The new gateway, 0.0.0.0 for none."),
                                           QStringLiteral("address"));
    command.parser().addOptions({ipOption, maskOption, gatewayOption});
    PlanRun plan(command);
    if (const std::optional<int> exit = command.parse(arguments, 1))
        return *exit;
    if (const std::optional<int> exit = plan.readOptions())
        return *exit;

    const std::optional<QByteArray> mac = command.macArgument();
    if (!mac)
        return UsageError;
    PlanFile::Row row{0, *mac, {}};
    quint32 *targets[] = {&row.settings.ip, &row.settings.mask, &row.settings.gateway};
    const QCommandLineOption *options[] = {&ipOption, &maskOption, &gatewayOption};
    for (int i = 0; i < 3; ++i) {
        const QString name = options[i]->names().constFirst();
        if (!command.parser().isSet(*options[i]))
            return command.fail(UsageError, QStringLiteral("--%1 is missing (see --help)").arg(name));
        const QString text = command.parser().value(*options[i]);
        const QHostAddress address = decimalIPv4Address(text);
        if (address.isNull())
            return command.fail(UsageError, QStringLiteral("--%1 \"%2\" is not a dotted quad such as 192.168.1.10").arg(name, echoed(text)));
        *targets[i] = address.toIPv4Address();
    }

    Network network(command);
    if (const std::optional<int> exit = network.open())
        return *exit;
    return plan.run(network, {row});
}

} // namespace Cli
