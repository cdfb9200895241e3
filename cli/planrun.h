#pragma once

#include "resultlisting.h"

#include "commissioning/founddevice.h"
#include "commissioning/planfile.h"
#include "commissioning/verifiedwrite.h"

#include <QCommandLineOption>
#include <QPointer>
#include <QString>

namespace Cli {

class Command;
class Network;

// Writes address plan rows, for set (a plan of one row) and apply: the whole plan is checked
// against the devices that answer a search before anything is sent; then the first row that
// needs a write is written alone and verified, and only when it is verified the others, in groups
// (--batch-size, all together by default), each group verified before the next. The results go to
// standard output as a table, JSON, or JSON lines as they happen.
//
// SIGINT, SIGTERM and SIGHUP: no write frame leaves after the first one; writes already sent are
// still verified, unless a second signal comes, which ends the run at once. Either way the results
// so far are printed, and the exit code is 5.
class PlanRun
{
public:
    // Adds --dry-run, --no-verify, --restart-wait, --verify-timeout, --batch-size and --format.
    explicit PlanRun(Command &command);

    // The statuses a row can end with, one per line, for the help text.
    static QString statusHelp();

    // After Command::parse(): reads those options, and from then on catches the signals above.
    // Nothing when they are usable, otherwise the exit code, once the reason has been printed.
    std::optional<int> readOptions();

    // Searches, checks and writes; the exit code.
    int run(Network &network, const QList<PlanFile::Row> &rows);

private:
    enum class Format { Table, Json, Jsonl };

    // Writes the rows of `group` (positions in `rows`) together and fills in their results.
    void writeGroup(Network &network, const QList<PlanFile::Row> &rows, const QList<qsizetype> &group,
                    const QList<FoundDevice> &found);
    void interrupt();
    // Prints the results in the chosen format; `exit`.
    int finish(int exit);
    // A row's outcome is known: written at once for --format jsonl.
    void settle(qsizetype row);
    void print(const QString &text) const;

    Command &m_command;
    QCommandLineOption m_dryRun;
    QCommandLineOption m_noVerify;
    QCommandLineOption m_restartWait;
    QCommandLineOption m_verifyTimeout;
    QCommandLineOption m_batchSize;
    QCommandLineOption m_format;
    int m_restartWaitMs = 0;
    int m_verifyTimeoutMs = 0;
    int m_batchSizeValue = 0; // 0: all rows after the first together
    Format m_formatValue = Format::Table;

    QList<ResultListing::Result> m_results;
    int m_changed = 0;
    Network *m_network = nullptr;
    QPointer<VerifiedWrite> m_write;
};

} // namespace Cli
