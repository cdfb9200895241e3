#pragma once

#include "commissioning/searchsession.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QString>
#include <QStringList>

#include <optional>

namespace Cli {

enum ExitCode : int {
    Done = 0,        // every device found, every row verified or already correct
    NotDone = 1,     // nothing found, or some row not verified
    UsageError = 2,  // the command line or an input file cannot be read
    Environment = 3, // port 102 cannot be bound, no adapter, a frame cannot leave
    Refused = 4,     // the address checks refuse the settings: nothing was sent
    Interrupted = 5, // SIGINT, SIGTERM or SIGHUP: no write after it, the results so far printed
};

// What every sub-command shares: its parser with the adapter and search options, its help text
// with the exit codes, and its diagnostics on standard error, one line each.
class Command
{
public:
    // `description` is the help text's body; `syntax` the positional arguments ("MAC").
    Command(const QString &name, const QString &description, const QString &syntax = {});

    QCommandLineParser &parser() { return m_parser; }
    const QString &name() const { return m_name; }

    // Parses the arguments (the first is the sub-command's name). Nothing when the command should
    // go on; otherwise the exit code, once help or the usage error has been printed.
    std::optional<int> parse(const QStringList &arguments, qsizetype positionalCount = 0);

    QStringList interfaces() const;
    SearchSession::Options searchOptions() const { return m_search; }

    // A whole number within [minimum, maximum] from an option's value, or nothing after printing
    // the usage error.
    std::optional<int> intValue(const QCommandLineOption &option, int minimum, int maximum) const;
    // The MAC of the first positional argument, or nothing after printing the usage error.
    std::optional<QByteArray> macArgument() const;

    // Print one line "kvrctl700-cli NAME: message" to standard error, control characters escaped;
    // fail() returns the code. With --format json or jsonl, a failure with exit 2 to 5 also writes an error object to
    // standard output, with `reason` (a word a script reads) for exit 3.
    int fail(int code, const QString &message, const QString &reason = {}) const;
    void warn(const QString &message) const;
    void note(const QString &message) const;

private:
    // The parser's complaint, as "unknown option --json".
    QString parseError() const;

    QString m_name;
    QString m_description;
    QString m_syntax;
    QString m_errorFormat; // json, jsonl, or empty: no error object
    QCommandLineParser m_parser;
    QCommandLineOption m_interface;
    QCommandLineOption m_timeout;
    QCommandLineOption m_rounds;
    QCommandLineOption m_quiet;
    SearchSession::Options m_search;
};

// Runs the event loop until the task reports finished() (at once when it already has).
template<typename Task>
void waitUntilFinished(Task &task)
{
    if (task.isFinished())
        return;
    QEventLoop loop;
    QObject::connect(&task, &Task::finished, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace Cli
