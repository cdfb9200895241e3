#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Plain-text shapes shared by the outputs.
namespace Cli {

// Columns padded to their widest cell and separated by two blanks; one line per row, header first.
QString textTable(const QStringList &header, const QList<QStringList> &rows);

// One CSV line: a field with a comma, a double quote or blanks at its ends goes in double quotes,
// its quotes doubled, as the plan reader reads it back.
QString csvLine(const QStringList &fields);

} // namespace Cli
