#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// Plain-text shapes shared by the outputs, and what keeps them safe: texts from the network or
// from files reach a terminal escaped, and a spreadsheet as data, never as a formula.
namespace Cli {

// Columns padded to their widest cell and separated by two blanks; one line per row, header first.
// Every cell is shown printable().
QString textTable(const QStringList &header, const QList<QStringList> &rows);

// One CSV line as RFC 4180 writes it (CRLF aside: LF ends it): a field with a comma, a double
// quote, a line break or blanks at its ends goes in double quotes, its quotes doubled. A field
// that a spreadsheet would evaluate (it starts with =, +, -, @, a tab or a carriage return) gets
// a leading apostrophe first. The plan reader reads every such line back.
QString csvLine(const QStringList &fields);

// The text with its control characters (C0, DEL, C1) and invisible format characters (such as
// bidirectional overrides) written as escapes (\n, \r, \t, \e, \xNN, \uNNNN): whatever a device
// calls itself, it cannot move the cursor, retitle the terminal or break a line.
QString printable(const QString &text);

// A value to quote in a message: printable, and cut short after `length` characters ("..."
// follows), so that a 10 MB field gives a short message.
QString echoed(const QString &value, qsizetype length = 40);

// One JSON object on one line, as --format jsonl writes each event.
QString jsonLine(const QJsonObject &object);

// Writes to standard output at once (flushed). When it cannot be written (a full disk, a closed
// pipe with SIGPIPE ignored), says so in one line on standard error, naming the command, and ends
// the program with exit code 3: a plan or a results file must not be lost silently.
void writeOutput(const QString &command, const QString &text);

// The same check for whatever reached standard output by other means, at the end of a command:
// true when everything was written.
bool outputWritten(const QString &command);

} // namespace Cli
