#pragma once

#include "resultlisting.h"

#include "commissioning/founddevice.h"
#include "commissioning/planfile.h"

#include <QCommandLineOption>
#include <QString>

namespace Cli {

class Command;
class Network;

// Writes address plan rows, for set (a plan of one row) and apply: the whole plan is checked
// against the devices that answer a search before anything is sent, then written one device at
// a time, each write verified; a results table (or JSON) goes to standard output.
class PlanRun
{
public:
    // Adds --dry-run, --no-verify, --restart-wait, --verify-timeout and --format to the command.
    explicit PlanRun(Command &command);

    // After Command::parse(): reads those options. Nothing when they are usable, otherwise the
    // exit code, once the reason has been printed.
    std::optional<int> readOptions();

    // Searches, checks and writes; the exit code.
    int run(Network &network, const QList<PlanFile::Row> &rows);

private:
    // Writes one row's settings to its device (or, for a dry run, says how it would) into result.
    void write(Network &network, const PlanFile::Row &row, const FoundDevice &device,
               ResultListing::Result &result);

    Command &m_command;
    QCommandLineOption m_dryRun;
    QCommandLineOption m_noVerify;
    QCommandLineOption m_restartWait;
    QCommandLineOption m_verifyTimeout;
    QCommandLineOption m_format;
    int m_restartWaitMs = 0;
    int m_verifyTimeoutMs = 0;
    bool m_json = false;
};

} // namespace Cli
