#pragma once

#include "commissioning/writeoutcome.h"

#include <QList>
#include <QMap>
#include <QString>

#include <optional>

// The outcome of each row of a set or apply, as a table, as JSON (one document with a schema
// version) or as JSON lines (an object per event, written as it happens).
namespace Cli::ResultListing {

struct Settings
{
    QString ip, mask, gateway;
};

enum class Status {
    AlreadyCorrect,
    NotFound,
    Refused,
    DryRun,
    Sent,
    Verified,
    Mismatch,
    NotSeen,
    Conflict,
    NotSent,
};
// "already-correct", "not-found", ...: the words scripts read.
QString statusWord(Status status);
Status statusOf(WriteOutcome::Outcome outcome);

struct Result
{
    int line = 0; // of the plan file; 0 for set
    QString mac;
    QString name; // as the device reported it; empty when it was not found
    QString ip, mask, gateway; // the settings the row asks for
    Status status = Status::NotSent;
    QString detail;
    std::optional<Settings> before; // the device's settings when the run found it
};

struct Summary
{
    qsizetype rows = 0;
    int changed = 0; // devices a write frame was sent to
    QMap<QString, int> counts; // per status, only those that occur
    int exit = 0;
    bool interrupted = false;
};

Summary summarize(const QList<Result> &results, int changed, int exit, bool interrupted);

// Every status a row can end with, and what it means, for the help texts.
QList<std::pair<QString, QString>> statusWords();

QString table(const QList<Result> &results);
QString json(const QList<Result> &results, const Summary &summary);

// One line each, for --format jsonl: a write frame has left (`route` it took), a row's outcome
// is known, the run is over.
QString sentLine(const Result &result, const QString &route);
QString resultLine(const Result &result);
QString summaryLine(const Summary &summary);

} // namespace Cli::ResultListing
