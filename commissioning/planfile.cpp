#include "planfile.h"

#include "protocol/conversions.h"

#include <QHostAddress>
#include <QStringDecoder>

#include <array>

namespace PlanFile {

namespace {

constexpr std::array<char, 3> Separators = {',', ';', '\t'};

// One record of the file: its fields as bytes, unquoted, blanks around unquoted fields dropped.
struct Record
{
    int line = 0; // where it starts
    QList<QByteArray> fields;

    bool blank() const
    {
        for (const QByteArray &field : fields) {
            if (!field.isEmpty())
                return false;
        }
        return true;
    }
};

// Reads records one after another. Separators, quotes and line ends are ASCII, and never part of
// a UTF-8 sequence, so the bytes are split before anything is decoded: a field that is not UTF-8
// only matters if it is read.
class RecordReader
{
public:
    RecordReader(const QByteArray &bytes, char separator, qsizetype position = 0, int line = 1)
        : m_bytes(bytes), m_separator(separator), m_position(position), m_line(line)
    {
    }

    bool atEnd() const { return m_position >= m_bytes.size(); }
    qsizetype position() const { return m_position; }
    int line() const { return m_line; }

    // The next record, or the error that ends the reading.
    std::optional<Error> next(Record &record)
    {
        record.line = m_line;
        record.fields.clear();
        while (true) {
            QByteArray field;
            skipBlanks();
            if (peek() == '"') {
                const int opened = m_line;
                ++m_position;
                bool closed = false;
                while (!atEnd()) {
                    const char c = m_bytes.at(m_position++);
                    if (c == '"') {
                        if (peek() == '"') {
                            field += '"';
                            ++m_position;
                            continue;
                        }
                        closed = true;
                        break;
                    }
                    if (c == '\n')
                        ++m_line;
                    field += c;
                }
                if (!closed)
                    return Error{Problem::UnclosedQuote, opened, int(record.fields.size()) + 1};
                skipBlanks();
                if (!atEnd() && peek() != m_separator && peek() != '\n' && !atLineEndingCr())
                    return Error{Problem::TextAfterQuote, m_line, int(record.fields.size()) + 1};
            } else {
                const qsizetype start = m_position;
                while (!atEnd() && peek() != m_separator && peek() != '\n' && peek() != '\r')
                    ++m_position;
                field = m_bytes.mid(start, m_position - start);
                while (!field.isEmpty() && isBlank(field.back()))
                    field.chop(1);
            }
            record.fields.append(field);

            if (atEnd())
                return std::nullopt;
            if (peek() == m_separator) {
                ++m_position;
                continue;
            }
            if (peek() == '\r') {
                if (!atLineEndingCr())
                    return Error{Problem::CarriageReturn, m_line};
                ++m_position;
                if (atEnd())
                    return std::nullopt;
            }
            ++m_position; // the line feed
            ++m_line;
            return std::nullopt;
        }
    }

private:
    char peek() const { return atEnd() ? '\0' : m_bytes.at(m_position); }
    bool isBlank(char c) const { return c == ' ' || (c == '\t' && m_separator != '\t'); }
    void skipBlanks()
    {
        while (!atEnd() && isBlank(peek()))
            ++m_position;
    }
    // A carriage return that ends a line (CRLF, or the last byte of the file).
    bool atLineEndingCr() const
    {
        return peek() == '\r' && (m_position + 1 >= m_bytes.size() || m_bytes.at(m_position + 1) == '\n');
    }

    const QByteArray &m_bytes;
    char m_separator;
    qsizetype m_position;
    int m_line;
};

// UTF-8 without its byte-order mark; UTF-16 (which needs one) as UTF-8.
QByteArray asUtf8(const QByteArray &content)
{
    if (content.startsWith("\xEF\xBB\xBF"))
        return content.mid(3);
    const bool littleEndian = content.startsWith("\xFF\xFE");
    if (littleEndian || content.startsWith("\xFE\xFF")) {
        // The decoder drops the byte-order mark; what cannot be decoded becomes U+FFFD, which no
        // column the plan reads accepts.
        QStringDecoder decoder(littleEndian ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        return QString(decoder.decode(content)).toUtf8();
    }
    return content;
}

QString lenientText(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes).trimmed();
}

std::optional<QString> strictText(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// The fields of the header that name each column (-1: none), read with one separator.
struct HeaderReading
{
    Record record;
    std::optional<Error> error;
    std::array<int, ColumnCount> columns{-1, -1, -1, -1};
    int named = 0;
    std::optional<Column> twice;
    char separator = ',';
    qsizetype end = 0; // where the rows start
    int nextLine = 0;
};

HeaderReading readHeader(const QByteArray &bytes, char separator, qsizetype position, int line)
{
    HeaderReading header;
    header.separator = separator;
    RecordReader reader(bytes, separator, position, line);
    header.error = reader.next(header.record);
    header.end = reader.position();
    header.nextLine = reader.line();
    if (header.error)
        return header;
    for (int c = 0; c < ColumnCount; ++c) {
        for (qsizetype i = 0; i < header.record.fields.size(); ++i) {
            if (lenientText(header.record.fields.at(i)).compare(columnName(Column(c)), Qt::CaseInsensitive) != 0)
                continue;
            if (header.columns[c] >= 0) {
                header.twice = header.twice.value_or(Column(c));
                continue;
            }
            header.columns[c] = int(i);
            ++header.named;
        }
    }
    return header;
}

// Lines holding nothing but blanks and separators before the header are blank rows too.
bool isBlankLine(const QByteArray &bytes, qsizetype start, qsizetype end)
{
    for (qsizetype i = start; i < end; ++i) {
        const char c = bytes.at(i);
        if (c != ' ' && c != '\t' && c != ',' && c != ';' && c != '\r')
            return false;
    }
    return true;
}

// The separator the header line uses most, outside quotes; 0 when it holds none.
char mostUsedSeparator(const QByteArray &bytes, qsizetype start)
{
    std::array<int, Separators.size()> counts{};
    bool quoted = false;
    for (qsizetype i = start; i < bytes.size() && (quoted || bytes.at(i) != '\n'); ++i) {
        if (bytes.at(i) == '"')
            quoted = !quoted;
        for (size_t s = 0; s < Separators.size(); ++s)
            counts[s] += !quoted && bytes.at(i) == Separators[s];
    }
    size_t best = 0;
    for (size_t s = 1; s < Separators.size(); ++s) {
        if (counts[s] > counts[best])
            best = s;
    }
    return counts[best] > 0 ? Separators[best] : '\0';
}

Reading failure(Error error)
{
    return {{}, error};
}

} // namespace

QString columnName(Column column)
{
    switch (column) {
    case Column::Mac: return QStringLiteral("mac");
    case Column::Ip: return QStringLiteral("ip");
    case Column::Mask: return QStringLiteral("mask");
    case Column::Gateway: return QStringLiteral("gateway");
    }
    return {};
}

Reading read(const QByteArray &content)
{
    if (content.size() > MaxBytes)
        return failure({Problem::TooLarge});
    const QByteArray bytes = asUtf8(content);

    // The header is the first line that is not blank.
    qsizetype position = 0;
    int line = 1;
    while (position < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', position);
        if (end < 0)
            end = bytes.size();
        if (!isBlankLine(bytes, position, end))
            break;
        position = end + 1;
        ++line;
    }
    if (position >= bytes.size())
        return failure({Problem::Empty});

    // The separator is the one with which the header names the most columns.
    std::optional<HeaderReading> header;
    for (char separator : Separators) {
        HeaderReading candidate = readHeader(bytes, separator, position, line);
        if (!header || (!candidate.error && (header->error || candidate.named > header->named)))
            header = std::move(candidate);
    }
    if (header->error)
        return failure(*header->error);
    if (header->named == 0) {
        Error error{Problem::NoColumnNamed, line};
        error.separator = mostUsedSeparator(bytes, position);
        return failure(error);
    }
    if (header->twice)
        return failure({Problem::ColumnTwice, line, 0, *header->twice});
    for (int c = 0; c < ColumnCount; ++c) {
        if (header->columns[c] < 0)
            return failure({Problem::ColumnMissing, line, 0, Column(c)});
    }
    const qsizetype headerFields = header->record.fields.size();
    Reading reading;
    RecordReader reader(bytes, header->separator, header->end, header->nextLine);
    Record record;
    while (!reader.atEnd()) {
        if (const std::optional<Error> error = reader.next(record))
            return failure(*error);
        if (record.blank())
            continue;
        if (reading.rows.size() >= MaxRows)
            return failure({Problem::TooManyRows, record.line});
        const qsizetype fieldCount = record.fields.size();
        for (qsizetype i = headerFields; i < fieldCount; ++i) {
            if (!record.fields.at(i).isEmpty()) {
                Error error{Problem::ExtraField, record.line, int(i) + 1};
                error.value = lenientText(record.fields.at(i));
                error.fieldCount = int(fieldCount);
                return failure(error);
            }
        }
        std::array<QString, ColumnCount> texts;
        for (int c = 0; c < ColumnCount; ++c) {
            const int index = header->columns[c];
            if (index >= fieldCount) {
                Error error{Problem::MissingField, record.line, index + 1, Column(c)};
                error.fieldCount = int(fieldCount);
                return failure(error);
            }
            const std::optional<QString> text = strictText(record.fields.at(index));
            if (!text)
                return failure({Problem::NotUtf8, record.line, index + 1, Column(c)});
            texts[c] = text->trimmed();
        }

        Row row{record.line, {}, {}};
        const std::optional<QByteArray> mac = parseMacText(texts[0]);
        if (!mac)
            return failure({Problem::BadMac, record.line, header->columns[0] + 1, Column::Mac, texts[0]});
        row.mac = *mac;
        quint32 *values[] = {&row.settings.ip, &row.settings.mask, &row.settings.gateway};
        for (int c = 1; c < ColumnCount; ++c) {
            const QHostAddress address = decimalIPv4Address(texts[c]);
            if (address.isNull())
                return failure({Problem::BadAddress, record.line, header->columns[c] + 1, Column(c), texts[c]});
            *values[c - 1] = address.toIPv4Address();
        }
        reading.rows.append(row);
    }
    if (reading.rows.isEmpty())
        return failure({Problem::NoRows});
    return reading;
}

} // namespace PlanFile
