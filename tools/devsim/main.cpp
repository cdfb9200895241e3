// kvrctl700-devsim: plays KORVEL devices on UDP port 102, so that the tool can be tried without
// hardware. Run it only inside a private network namespace (make demo, the end-to-end tests).

#include "commissioning/terminationsignal.h"
#include "simdevice.h"
#include "simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>
#include <QTime>


namespace {

enum ExitCode : int { ExitOk = 0, ExitUsage = 2, ExitCannotBind = 3 };

const char Description[] = R"(Plays one or more KORVEL devices (PLC, HMI, SERVO, VFD) on UDP port 102.

Every search frame is answered with one reply per device, sent to the searcher's
address and port 102, after --reply-delay-ms; with --drop-rate, replies are lost at
random (the same --seed loses the same ones). An LED frame switches its device's LEDs
between flashing and off; a flashing device goes back to off by itself when no flash
command has come for --led-timeout-ms. A write frame is checked as a careful device
does (declared length equal to the size, values of 6, 6, 16 and 12 bytes, a name of 6
to 16 printable ASCII characters once its padding is removed, a unicast MAC no other
device uses, a subnet mask that is a valid prefix, an address and a gateway that are
hosts of that subnet, target MAC one of the devices) and either refused with the
reason, or taken: the device then restarts for --restart-ms, answers nothing
meanwhile, and comes back with the new settings. LED and write frames act on the
device whose MAC they name, when sent to its address or by broadcast; one sent to
another device's address reaches nobody, as on a real network. A device may sit at an
address outside the tool's subnet: it answers the broadcast search all the same, and
only broadcast frames reach it. A device with "ignores-broadcast" acts only on frames
sent to its own address. A device answers from its own address when that is one of
this namespace's (the cable's /16), otherwise from the simulator's. Every other
datagram is refused with a printed reason.

Some keys play what a real device should never do, as a second responder on the
segment may: "second-ip" answers every search twice, the second time as if at that
address; "answers-from" sends the replies from that address; "impersonates": true
lets a device share the MAC of another (a frame sent by broadcast reaches both,
one sent to an address only the device there); "restart-delay-ms" keeps answering with
the old settings for that long after taking a write, before the restart.

Devices come from --devices FILE, from --device options, from --generate COUNT, or,
with none of them, from the built-in sample (the same as tools/devsim/sample-devices.json).
A device file is
  {"devices": [{"type": "PLC", "name": "FILLER-PLC-02", "mac": "02:4B:56:10:00:02",
                "ip": "198.18.0.11", "mask": "255.255.255.0", "gateway": "198.18.0.254",
                "version": "1.3.2.0", "points": "0.32.0.24"}, ...]}
type is PLC, HMI, SERVO, VFD or a code 0-255; version and points are optional byte
values joined by '.' (a device without them leaves the field out of its replies);
"ignores-broadcast": true is optional, and so are "second-ip", "answers-from",
"impersonates" and "restart-delay-ms".
--device takes the same keys as key=value pairs joined by ',', for example
  --device type=VFD,name=PUMP-VFD-01,mac=02:4B:56:40:00:01,\
ip=198.18.0.41,mask=255.255.255.0,gateway=198.18.0.254
--generate COUNT plays COUNT made-up devices (types in turn, names GEN-PLC-0001 and on,
MACs 02:4B:56:F0:00:01 and on, addresses 198.18.1.1 and on in 198.18.0.0/16).

Output: one line per event on standard output, each starting with the time
(HH:MM:SS.mmm): "listening on", "device", "search from", "led ... flashing",
"led ... off", "write ... accepted", "write ... refused", "restarting", "restarted",
"rejected", "ignored", "stopped". Errors that stop it go to standard error.

Exit status: 0 after SIGINT or SIGTERM (Ctrl-C), 2 for a usage error or an unusable
device list, 3 when the address cannot be bound.

Run it only inside a private network namespace: make demo shows how.)";

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

void printEvent(const QString &line)
{
    out() << QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")) << ' ' << line << Qt::endl;
}

int usageError(const QString &message)
{
    QTextStream(stderr) << QCoreApplication::applicationName() << ": " << message << Qt::endl;
    return ExitUsage;
}

// A whole number within [minimum, maximum] from an option's value.
std::optional<int> intOption(const QCommandLineParser &parser, const QCommandLineOption &option,
                             int minimum, int maximum)
{
    bool ok = false;
    const int value = parser.value(option).toInt(&ok);
    if (!ok || value < minimum || value > maximum)
        return std::nullopt;
    return value;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kvrctl700-devsim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KVR_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(Description));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption devicesOption({QStringLiteral("f"), QStringLiteral("devices")},
                                           QStringLiteral("Plays the devices of the JSON file <file>."),
                                           QStringLiteral("file"));
    const QCommandLineOption deviceOption(QStringLiteral("device"),
                                          QStringLiteral("Plays the device described by <keys> (key=value,...); repeatable."),
                                          QStringLiteral("keys"));
    const QCommandLineOption generateOption(QStringLiteral("generate"),
                                            QStringLiteral("Plays <count> made-up devices (1 to 1000)."),
                                            QStringLiteral("count"));
    const QCommandLineOption bindOption(QStringLiteral("bind"),
                                        QStringLiteral("Listens on <address> (default 0.0.0.0: every address, "
                                                       "the only choice that receives broadcast searches)."),
                                        QStringLiteral("address"), QStringLiteral("0.0.0.0"));
    const QCommandLineOption restartOption(QStringLiteral("restart-ms"),
                                           QStringLiteral("A device restarts for <ms> after taking new "
                                                          "settings (default 2000)."),
                                           QStringLiteral("ms"), QStringLiteral("2000"));
    const QCommandLineOption ledTimeoutOption(QStringLiteral("led-timeout-ms"),
                                              QStringLiteral("A flashing device turns its LEDs off after <ms> "
                                                             "without a flash command (default 3000)."),
                                              QStringLiteral("ms"), QStringLiteral("3000"));
    const QCommandLineOption junkOption(QStringLiteral("junk"),
                                        QStringLiteral("Sends <count> malformed datagrams mixed in with the "
                                                       "replies to every search, for load tests (default 0)."),
                                        QStringLiteral("count"), QStringLiteral("0"));
    const QCommandLineOption dropOption(QStringLiteral("drop-rate"),
                                        QStringLiteral("Loses each reply to a search with the probability <p>, "
                                                       "0 to 1 (default 0)."),
                                        QStringLiteral("p"), QStringLiteral("0"));
    const QCommandLineOption seedOption(QStringLiteral("seed"),
                                        QStringLiteral("Seeds the random losses with <n> (default 1): the same "
                                                       "seed loses the same replies."),
                                        QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption delayOption(QStringLiteral("reply-delay-ms"),
                                         QStringLiteral("Answers a search after <ms> (default 0)."),
                                         QStringLiteral("ms"), QStringLiteral("0"));
    parser.addOptions({devicesOption, deviceOption, generateOption, bindOption, restartOption, ledTimeoutOption,
                       junkOption, dropOption, seedOption, delayOption});

    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText() + QLatin1String(" (see --help)"));
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(ExitOk);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument \"%1\" (see --help)").arg(parser.positionalArguments().first()));

    DevSim::SimulatorOptions options;
    options.bindAddress = QHostAddress(parser.value(bindOption));
    if (options.bindAddress.protocol() != QAbstractSocket::IPv4Protocol)
        return usageError(QStringLiteral("--bind needs an IPv4 address, not \"%1\"").arg(parser.value(bindOption)));
    const std::optional<int> restartMs = intOption(parser, restartOption, 0, 600000);
    const std::optional<int> ledTimeoutMs = intOption(parser, ledTimeoutOption, 1, 600000);
    const std::optional<int> junk = intOption(parser, junkOption, 0, 1000000);
    const std::optional<int> delayMs = intOption(parser, delayOption, 0, 600000);
    if (!restartMs || !ledTimeoutMs || !junk || !delayMs)
        return usageError(QStringLiteral("--restart-ms and --reply-delay-ms take 0 to 600000, --led-timeout-ms 1 "
                                         "to 600000, --junk 0 to 1000000"));
    options.restartMs = *restartMs;
    options.ledTimeoutMs = *ledTimeoutMs;
    options.junkPerSearch = *junk;
    options.replyDelayMs = *delayMs;
    bool dropOk = false;
    bool seedOk = false;
    options.dropRate = parser.value(dropOption).toDouble(&dropOk);
    options.seed = parser.value(seedOption).toUInt(&seedOk);
    if (!dropOk || options.dropRate < 0 || options.dropRate > 1 || !seedOk)
        return usageError(QStringLiteral("--drop-rate takes 0 to 1, --seed 0 to 4294967295"));

    if (int(parser.isSet(devicesOption)) + int(parser.isSet(deviceOption)) + int(parser.isSet(generateOption)) > 1)
        return usageError(QStringLiteral("give one of --devices, --device and --generate"));
    DevSim::DeviceList devices;
    if (parser.isSet(generateOption)) {
        const std::optional<int> count = intOption(parser, generateOption, 1, 1000);
        if (!count)
            return usageError(QStringLiteral("--generate takes 1 to 1000"));
        devices.devices = DevSim::generatedDevices(*count);
    } else if (parser.isSet(deviceOption)) {
        devices = DevSim::devicesFromOptions(parser.values(deviceOption));
    } else {
        const QString path = parser.isSet(devicesOption) ? parser.value(devicesOption)
                                                         : QStringLiteral(":/sample-devices.json");
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return usageError(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        devices = DevSim::devicesFromJson(file.readAll());
        if (!devices.ok())
            devices.error = path + QLatin1String(": ") + devices.error;
    }
    if (!devices.ok())
        return usageError(devices.error);

    if (!onTerminationSignal(&app, &QCoreApplication::quit))
        return usageError(QStringLiteral("cannot watch for SIGINT and SIGTERM"));

    DevSim::Simulator simulator(devices.devices, options);
    QObject::connect(&simulator, &DevSim::Simulator::report, &simulator, &printEvent);
    if (const std::optional<QString> failure = simulator.start()) {
        QTextStream(stderr) << QCoreApplication::applicationName() << ": " << *failure << Qt::endl;
        return ExitCannotBind;
    }
    const int result = app.exec();
    printEvent(QStringLiteral("stopped"));
    return result;
}
