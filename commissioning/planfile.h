#pragma once

#include "protocol/addresscheck.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// An address plan: a CSV file with a header row naming at least the columns mac, ip, mask and
// gateway (in any order, any case; other columns, such as those the search writes, are ignored)
// and one device per row. Files as spreadsheets save them are read as they come: the separator
// (comma, semicolon or tab) found from the header, UTF-8 with or without a byte-order mark or
// UTF-16 with one, LF or CRLF line ends, fields in double quotes (which may hold separators, quotes
// and line breaks), blank rows, rows that leave out empty fields at their end, bytes that are not
// UTF-8 in a column the plan does not read. Pure and bounded: bytes in, rows or one error out, in
// time linear in the size of the file.
namespace PlanFile {

// Far above any plant (the window lists at most 127 devices), low enough to be read at once.
constexpr qsizetype MaxBytes = 8 * 1024 * 1024;
constexpr int MaxRows = 100000;

// The columns a plan is read from, in the order they are looked for.
enum class Column { Mac, Ip, Mask, Gateway };
constexpr int ColumnCount = 4;

struct Row
{
    int line = 0;   // in the file, counted from 1: where the row starts
    QByteArray mac; // 6 bytes
    AddressCheck::Settings settings;
};

enum class Problem {
    TooLarge,            // more than MaxBytes
    Empty,               // no header row
    UnclosedQuote,       // a double quote opened on `line` is never closed
    TextAfterQuote,      // text follows a closing double quote, in field `field`
    CarriageReturn,      // a carriage return inside a line, outside double quotes
    NoColumnNamed,       // the header names none of the columns; `separator` is what it seemed to use
    ColumnMissing,       // the header lacks `column`
    ColumnTwice,         // the header names `column` twice
    TooManyRows,         // `line` starts the row after MaxRows
    MissingField,        // a row too short to hold `column` (field `field` of the header)
    ExtraField,          // a row with a field after the header's last (`field`, holding `value`)
    NotUtf8,             // bytes that are not UTF-8 in `column` (field `field`)
    BadMac,              // `value` is no MAC
    BadAddress,          // `value` of `column` is no dotted quad
    NoRows,              // a header, then nothing
};

struct Error
{
    Error() = default;
    Error(Problem problem, int line = 0, int field = 0, Column column = Column::Mac, const QString &value = {})
        : problem(problem), line(line), field(field), column(column), value(value)
    {
    }

    Problem problem = Problem::Empty;
    int line = 0;   // 0: the file as a whole
    int field = 0;  // counted from 1; 0: none
    Column column = Column::Mac;
    QString value;  // the field as read (whole: callers cut it short for people)
    char separator = 0; // NoColumnNamed: ',', ';', '\t', or 0 when the header holds none of them
    int fieldCount = 0; // ExtraField, MissingField: the row's fields
};

struct Reading
{
    QList<Row> rows;
    std::optional<Error> error;

    bool ok() const { return !error.has_value(); }
};

Reading read(const QByteArray &content);

// The column's name in a header: mac, ip, mask, gateway.
QString columnName(Column column);

} // namespace PlanFile
