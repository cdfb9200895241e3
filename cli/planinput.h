#pragma once

#include "commissioning/plancheck.h"
#include "commissioning/planfile.h"

#include <QList>
#include <QString>

#include <optional>

namespace Cli {

class Command;

// The address plan of apply, from a file or a pipe (or "-": standard input), read within
// PlanFile's bounds and checked for rows that repeat a MAC or an IP address, before anything is
// sent. The words for what the reading and the checks refuse are made here.
namespace PlanInput {

// Reads and checks the plan into `rows`. Nothing when it can be applied; otherwise the exit code
// (2: it cannot be read, 4: it repeats a MAC or an IP address), once one line has said why.
std::optional<int> read(const Command &command, const QString &path, QList<PlanFile::Row> &rows);

// One line for people, naming the line and the column where it applies; values cut short.
QString describe(const PlanFile::Error &error);
// One line for the first repeat; `more` other rows repeat something too.
QString describe(const PlanCheck::Repeat &repeat, qsizetype more);

} // namespace PlanInput

} // namespace Cli
