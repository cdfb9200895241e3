// kvrctl700-cli: finds, identifies and configures KORVEL devices from the command line, on every
// adapter, with checked and verified writes and address plans.

#include "command.h"
#include "commands.h"
#include "textformats.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

const char Usage[] = R"(Usage: kvrctl700-cli COMMAND [options]

Finds, identifies and configures KORVEL devices (PLC, HMI, SERVO, VFD) on UDP port 102,
on every adapter of this machine.

Commands:
  search               list the devices that answer, with what deserves a second look
  identify MAC         make a device flash its LEDs
  set MAC --ip A --mask M --gateway G
                       write new IPv4 settings to a device, checked and verified
  apply PLAN.csv       write an address plan (- for standard input), checked as a
                       whole, the first write verified before the others go out

kvrctl700-cli COMMAND --help explains a command's options and exit status.
Port 102 needs root, or the capability that the package (or make setcap) grants.
)";

int run(const QStringList &arguments)
{
    const QString name = arguments.value(0);
    if (name == QLatin1String("search"))
        return Cli::search(arguments);
    if (name == QLatin1String("identify"))
        return Cli::identify(arguments);
    if (name == QLatin1String("set"))
        return Cli::set(arguments);
    if (name == QLatin1String("apply"))
        return Cli::apply(arguments);
    if (name == QLatin1String("--help") || name == QLatin1String("-h") || name == QLatin1String("help")) {
        Cli::writeOutput(name, QLatin1String(Usage));
        return Cli::Done;
    }
    if (name == QLatin1String("--version")) {
        Cli::writeOutput(name, QStringLiteral("kvrctl700-cli %1\n").arg(QCoreApplication::applicationVersion()));
        return Cli::Done;
    }
    QTextStream(stderr) << "kvrctl700-cli: "
                        << (name.isEmpty() ? QStringLiteral("a command is needed")
                                           : QStringLiteral("unknown command \"%1\"").arg(Cli::printable(name)))
                        << " (see kvrctl700-cli --help)" << Qt::endl;
    return Cli::UsageError;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kvrctl700-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KVR_VERSION));

    const QStringList arguments = QCoreApplication::arguments().mid(1);
    const int exitCode = run(arguments);
    // A plan or a results file that could not be written must not end as a success. A command
    // that failed already (exit 2 and above) has said why; its code stays.
    if (!Cli::outputWritten(arguments.value(0, QStringLiteral("--help"))) && exitCode < Cli::UsageError)
        return Cli::Environment;
    return exitCode;
}
