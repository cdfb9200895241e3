#include "command.h"

#include "textformats.h"

#include "protocol/conversions.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace Cli {

namespace {

const char ExitCodes[] = R"(
Exit status:
  0  done: every device found, every row verified or already correct
  1  nothing found, or some row not verified
  2  usage: the command line or an input file cannot be read; nothing was sent
  3  environment: UDP port 102 cannot be bound (it needs root or the capability
     cap_net_bind_service), no adapter can reach devices, a frame cannot leave, or
     standard output cannot be written
  4  refused by the address checks; nothing was sent
  5  interrupted by SIGINT (Ctrl-C), SIGTERM or SIGHUP: no write frame left after it,
     and the results so far are printed
)";

QString programName()
{
    return QStringLiteral("kvrctl700-cli");
}

} // namespace

Command::Command(const QString &name, const QString &description, const QString &syntax)
    : m_name(name), m_description(description), m_syntax(syntax),
      m_interface({QStringLiteral("i"), QStringLiteral("interface")},
                  QStringLiteral("Uses the adapter <name> only; repeatable. Default: every adapter that is up, "
                                 "has an IPv4 address and can broadcast."),
                  QStringLiteral("name")),
      m_timeout(QStringLiteral("timeout"),
                QStringLiteral("Ends the search after <ms> at the latest (default %1).")
                    .arg(SearchSession::DefaultTimeoutMs),
                QStringLiteral("ms")),
      m_rounds(QStringLiteral("rounds"),
               QStringLiteral("Sends the search at least <n> times (default %1); it goes on while a round still "
                              "finds new devices.")
                   .arg(SearchSession::DefaultRounds),
               QStringLiteral("n")),
      m_quiet(QStringLiteral("quiet"),
              QStringLiteral("Ends a round once no reply has come for <ms> (default %1).")
                  .arg(SearchSession::DefaultQuietMs),
              QStringLiteral("ms"))
{
    m_parser.addHelpOption();
    m_parser.addOptions({m_interface, m_timeout, m_rounds, m_quiet});
}

std::optional<int> Command::parse(const QStringList &arguments, qsizetype positionalCount)
{
    const bool parsed = m_parser.parse(QStringList{programName()} + arguments.mid(1));
    // Known even when the rest of the command line is not: a script asked for JSON errors.
    if (m_parser.optionNames().contains(QLatin1String("format"))) {
        const QString format = m_parser.value(QStringLiteral("format"));
        if (format == QLatin1String("json") || format == QLatin1String("jsonl"))
            m_errorFormat = format;
    }
    if (!parsed)
        return fail(UsageError, parseError() + QStringLiteral(" (see --help)"));
    if (m_parser.isSet(QStringLiteral("help"))) {
        QString help = m_parser.helpText();
        // The parser names the program only; the usage line names the sub-command too.
        help.replace(0, help.indexOf(u'\n'),
                     QStringLiteral("Usage: %1 %2 [options]%3")
                         .arg(programName(), m_name, m_syntax.isEmpty() ? QString() : u' ' + m_syntax));
        help.insert(help.indexOf(u'\n') + 1, u'\n' + m_description + u'\n');
        writeOutput(m_name, help + QLatin1String(ExitCodes));
        return Done;
    }
    const QStringList positional = m_parser.positionalArguments();
    if (positional.size() > positionalCount) {
        return fail(UsageError, QStringLiteral("an extra argument \"%1\" (%2; see --help)")
                                    .arg(positional.at(positionalCount),
                                         positionalCount == 0 ? QStringLiteral("it takes none")
                                                              : QStringLiteral("it takes only ") + m_syntax));
    }
    if (positional.size() < positionalCount)
        return fail(UsageError, QStringLiteral("%1 is missing (see --help)").arg(m_syntax));
    if (m_parser.isSet(m_timeout)) {
        const std::optional<int> timeout = intValue(m_timeout, 1, 600000);
        if (!timeout)
            return UsageError;
        m_search.timeoutMs = *timeout;
    }
    if (m_parser.isSet(m_rounds)) {
        const std::optional<int> rounds = intValue(m_rounds, 1, 100);
        if (!rounds)
            return UsageError;
        m_search.rounds = *rounds;
    }
    if (m_parser.isSet(m_quiet)) {
        const std::optional<int> quiet = intValue(m_quiet, 1, 60000);
        if (!quiet)
            return UsageError;
        m_search.quietMs = *quiet;
    }
    return std::nullopt;
}

QString Command::parseError() const
{
    const QStringList unknown = m_parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        const QString &name = unknown.constFirst();
        return QStringLiteral("unknown option %1%2").arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name);
    }
    // "Missing value after '--format'." in the program's own style.
    QString text = m_parser.errorText();
    if (text.endsWith(u'.'))
        text.chop(1);
    if (!text.isEmpty())
        text[0] = text.at(0).toLower();
    return text.remove(u'\'');
}

QStringList Command::interfaces() const
{
    return m_parser.values(m_interface);
}

std::optional<QByteArray> Command::macArgument() const
{
    const QString text = m_parser.positionalArguments().constFirst();
    const std::optional<QByteArray> mac = parseMacText(text);
    if (!mac)
        fail(UsageError, QStringLiteral("\"%1\" is not a MAC such as 02:4B:56:10:00:01").arg(echoed(text)));
    return mac;
}

std::optional<int> Command::intValue(const QCommandLineOption &option, int minimum, int maximum) const
{
    bool ok = false;
    const QString text = m_parser.value(option);
    const int value = text.toInt(&ok);
    if (ok && value >= minimum && value <= maximum)
        return value;
    fail(UsageError, QStringLiteral("--%1 takes a whole number from %2 to %3, not \"%4\"")
                         .arg(option.names().constLast())
                         .arg(minimum)
                         .arg(maximum)
                         .arg(text));
    return std::nullopt;
}

int Command::fail(int code, const QString &message, const QString &reason) const
{
    note(message);
    if (m_errorFormat.isEmpty() || code < UsageError || code > Interrupted)
        return code;
    QJsonObject error{{QStringLiteral("exit"), code}, {QStringLiteral("message"), message}};
    if (code == Environment && !reason.isEmpty())
        error.insert(QStringLiteral("reason"), reason);
    const QJsonObject object = m_errorFormat == QLatin1String("jsonl")
        ? QJsonObject{{QStringLiteral("event"), QStringLiteral("error")}, {QStringLiteral("error"), error}}
        : QJsonObject{{QStringLiteral("schema"), 1}, {QStringLiteral("error"), error}};
    writeOutput(m_name, jsonLine(object));
    return code;
}

void Command::warn(const QString &message) const
{
    note(QStringLiteral("warning: ") + message);
}

void Command::note(const QString &message) const
{
    // Messages quote device names and plan values: shown escaped, they cannot drive the terminal.
    QTextStream(stderr) << programName() << ' ' << m_name << ": " << printable(message) << Qt::endl;
}

} // namespace Cli
