#pragma once

#include "protocol/addresscheck.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// An address plan: a CSV file with a header row naming at least the columns mac, ip, mask and
// gateway (in any order, any case; other columns, such as those the search writes, are ignored)
// and one device per row. Files as spreadsheets save them are read as they come: UTF-8 with or
// without a byte-order mark, LF or CRLF line ends, fields in double quotes. Pure: bytes in, rows
// or one error out.
namespace PlanFile {

struct Row
{
    int line = 0;   // in the file, counted from 1
    QByteArray mac; // 6 bytes
    AddressCheck::Settings settings;
};

struct Reading
{
    QList<Row> rows;
    QString error; // one line, naming the line of the file where it applies

    bool ok() const { return error.isEmpty(); }
};

Reading read(const QByteArray &content);

// One line's fields, unquoted ("a,""b"",c" has the fields a, "b" and c; blanks around a field
// are dropped); nothing when a quote is left open or text follows a closing quote.
std::optional<QStringList> splitLine(const QString &line);

} // namespace PlanFile
