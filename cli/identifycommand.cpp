#include "command.h"
#include "commands.h"
#include "network.h"
#include "textformats.h"

#include "commissioning/identify.h"
#include "commissioning/terminationsignal.h"
#include "protocol/conversions.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>

#include <cmath>

namespace Cli {

int identify(const QStringList &arguments)
{
    Command command(QStringLiteral("identify"), QStringLiteral(R"(Makes the device with this MAC (02:4B:56:10:00:01 or 02-4B-56-10-00-01) flash its
LEDs, so that it can be found in the cabinet: it is searched for first, then told to
flash every %1 ms for --seconds, and always told to stop at the end, also on Ctrl-C,
SIGTERM and SIGHUP.

A device whose address lies outside the subnet of the adapter it answered on cannot be
reached by unicast: its LED frames go as a broadcast out of that adapter, and reach it
because they name its MAC. This relies on the device acting on frames addressed to its
MAC when they arrive by broadcast, as these devices do; one that ignores them does not
flash.)").arg(Frame::FlashIntervalMs), QStringLiteral("MAC"));
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
                                           QStringLiteral("Flashes for <n> seconds (default 30); 0 until Ctrl-C, SIGTERM or SIGHUP."),
                                           QStringLiteral("n"), QStringLiteral("30"));
    const QCommandLineOption formatOption(QStringLiteral("format"),
                                          QStringLiteral("Writes the outcome as <format>: text (default) or jsonl (one "
                                                         "JSON object, then a summary line)."),
                                          QStringLiteral("format"), QStringLiteral("text"));
    command.parser().addOptions({secondsOption, formatOption});
    if (const std::optional<int> exit = command.parse(arguments, 1))
        return *exit;
    const std::optional<QByteArray> mac = command.macArgument();
    if (!mac)
        return UsageError;
    const std::optional<int> seconds = command.intValue(secondsOption, 0, 86400);
    if (!seconds)
        return UsageError;
    const QString format = command.parser().value(formatOption);
    if (format != QLatin1String("text") && format != QLatin1String("jsonl"))
        return command.fail(UsageError, QStringLiteral("--format takes text or jsonl, not \"%1\"").arg(format));

    Network network(command);
    if (const std::optional<int> exit = network.open())
        return *exit;
    // Every device, not this one alone: one that shares its address changes the way to it.
    const std::optional<QList<FoundDevice>> found = network.search();
    if (!found)
        return command.fail(Environment, QStringLiteral("the search could not leave by any adapter"),
                            QStringLiteral("send-failed"));
    const FoundDevice *listed = findDevice(*found, *mac);
    if (!listed)
        return command.fail(NotDone, QStringLiteral("no device with MAC %1 answered on %2")
                                         .arg(macBytesToText(*mac), network.adapterSummary()));
    const FoundDevice device = *listed;
    const auto route = DeviceRoute::toDevice(device, network.adapters());
    if (!route)
        return command.fail(Environment, QStringLiteral("the device answered on none of the adapters in use"));

    Identify flashing(network.endpoint(), *mac, *route);
    QEventLoop loop;
    QTimer duration;
    duration.setSingleShot(true);
    QObject::connect(&duration, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (!onTerminationSignal(&loop, [&loop] { loop.quit(); }))
        command.warn(QStringLiteral("Ctrl-C cannot be caught here: it would leave the device flashing until its own time-out"));
    QElapsedTimer elapsed;
    elapsed.start();
    if (const DeviceLink::SendFailure failure = flashing.start(); failure != DeviceLink::SendFailure::None) {
        const QString why = sendFailureText(failure, network.endpoint().lastSendError());
        flashing.stop();
        return command.fail(Environment, QStringLiteral("the flash frame cannot leave (%1): %2").arg(route->describe(), why),
                            QStringLiteral("send-failed"));
    }
    command.note(QStringLiteral("flashing \"%1\" %2 at %3 (%4)%5")
                     .arg(QString::fromLatin1(device.reply.name), macBytesToText(*mac),
                          bytesToDottedText(device.reply.netAddr.left(4)), route->describe(),
                          *seconds > 0 ? QStringLiteral(" for %1 s").arg(*seconds) : QStringLiteral(" until Ctrl-C")));
    if (*seconds > 0)
        duration.start(*seconds * 1000);
    loop.exec();

    const DeviceLink::SendFailure offFailure = flashing.stop();
    const bool toldOff = offFailure == DeviceLink::SendFailure::None;
    const double flashedSeconds = double(elapsed.elapsed()) / 1000.0;
    if (format == QLatin1String("jsonl")) {
        const QJsonObject line{{QStringLiteral("event"), QStringLiteral("identify")},
                               {QStringLiteral("mac"), macBytesToText(*mac)},
                               {QStringLiteral("name"), QString::fromLatin1(device.reply.name)},
                               {QStringLiteral("ip"), bytesToDottedText(device.reply.netAddr.left(4))},
                               {QStringLiteral("route"), route->describe()},
                               {QStringLiteral("seconds"), std::round(flashedSeconds * 10) / 10},
                               {QStringLiteral("frames"), flashing.flashFramesSent()},
                               {QStringLiteral("ledsOff"), toldOff}};
        writeOutput(command.name(), jsonLine(line));
    } else {
        writeOutput(command.name(),
                    QStringLiteral("%1 %2 %3: flashed for %4 s (%5 flash frames, %6), LEDs %7\n")
                        .arg(macBytesToText(*mac), printable(QString::fromLatin1(device.reply.name)),
                             bytesToDottedText(device.reply.netAddr.left(4)))
                        .arg(flashedSeconds, 0, 'f', 1)
                        .arg(flashing.flashFramesSent())
                        .arg(route->describe(), toldOff ? QStringLiteral("told off") : QStringLiteral("NOT told off")));
    }
    if (!toldOff)
        return command.fail(Environment,
                            QStringLiteral("the LED-off frame cannot leave: %1")
                                .arg(sendFailureText(offFailure, network.endpoint().lastSendError())),
                            QStringLiteral("send-failed"));
    if (flashing.repeatFailure() != DeviceLink::SendFailure::None)
        return command.fail(Environment,
                            QStringLiteral("a flash frame could not leave: %1")
                                .arg(sendFailureText(flashing.repeatFailure(), flashing.repeatError())),
                            QStringLiteral("send-failed"));
    if (format == QLatin1String("jsonl"))
        writeOutput(command.name(), QStringLiteral(R"({"event":"summary","summary":{"exit":0}})") + u'\n');
    return Done;
}

} // namespace Cli
