#pragma once

#include <QList>
#include <QString>

// The outcome of each row of a set or apply, as a table or as JSON (one document with a schema
// version).
namespace Cli::ResultListing {

struct Result
{
    int line = 0; // of the plan file; 0 for set
    QString mac;
    QString name; // as the device reported it; empty when it was not found
    QString ip, mask, gateway; // the settings the row asks for
    QString status; // already-correct, not-found, refused, verified, mismatch, not-seen, not-sent, sent, dry-run
    QString detail;
};

QString table(const QList<Result> &results);
QString json(const QList<Result> &results);

} // namespace Cli::ResultListing
