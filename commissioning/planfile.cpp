#include "planfile.h"

#include "protocol/conversions.h"

#include <QHostAddress>
#include <QStringDecoder>

namespace PlanFile {

namespace {

const QStringList RequiredColumns = {QStringLiteral("mac"), QStringLiteral("ip"), QStringLiteral("mask"),
                                     QStringLiteral("gateway")};

Reading failure(const QString &error)
{
    return {{}, error};
}

Reading failureAt(int line, const QString &error)
{
    return failure(QStringLiteral("line %1: %2").arg(line).arg(error));
}

} // namespace

std::optional<QStringList> splitLine(const QString &line)
{
    QStringList fields;
    QString field;
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (true) {
        while (i < n && line.at(i) == u' ')
            ++i;
        field.clear();
        if (i < n && line.at(i) == u'"') {
            ++i;
            bool closed = false;
            while (i < n) {
                if (line.at(i) == u'"') {
                    if (i + 1 < n && line.at(i + 1) == u'"') {
                        field += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                field += line.at(i++);
            }
            if (!closed)
                return std::nullopt;
            while (i < n && line.at(i) == u' ')
                ++i;
            if (i < n && line.at(i) != u',')
                return std::nullopt;
        } else {
            while (i < n && line.at(i) != u',')
                field += line.at(i++);
            field = field.trimmed();
        }
        fields.append(field);
        if (i >= n)
            return fields;
        ++i; // the comma
    }
}

Reading read(const QByteArray &content)
{
    if (content.startsWith("\xFF\xFE") || content.startsWith("\xFE\xFF"))
        return failure(QStringLiteral("the plan is UTF-16 text: save it as CSV in UTF-8"));
    // Without ConvertInitialBom, the decoder drops a leading byte-order mark.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(content);
    if (decoder.hasError())
        return failure(QStringLiteral("the plan is not UTF-8 text"));
    if (text.trimmed().isEmpty())
        return failure(QStringLiteral("the plan is empty: it needs a header row (mac,ip,mask,gateway) and a row per device"));

    QStringList lines = text.split(u'\n');
    std::optional<QStringList> header;
    QList<int> columns; // of mac, ip, mask, gateway
    qsizetype columnCount = 0;
    Reading reading;
    for (int number = 1; number <= lines.size(); ++number) {
        QString line = lines.at(number - 1);
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.contains(u'\r'))
            return failureAt(number, QStringLiteral("a carriage return inside the line (lines must end in LF or CRLF)"));
        if (line.trimmed().isEmpty())
            continue;
        const std::optional<QStringList> fields = splitLine(line);
        if (!fields)
            return failureAt(number, QStringLiteral("a double quote is not closed, or text follows a closing one"));

        if (!header) {
            header = *fields;
            columnCount = fields->size();
            for (const QString &column : RequiredColumns) {
                qsizetype found = -1;
                for (qsizetype i = 0; i < fields->size(); ++i) {
                    if (fields->at(i).compare(column, Qt::CaseInsensitive) != 0)
                        continue;
                    if (found >= 0)
                        return failureAt(number, QStringLiteral("the column %1 appears twice").arg(column));
                    found = i;
                }
                if (found < 0)
                    return failureAt(number, QStringLiteral("the header has no column %1 (it must name mac, ip, "
                                                            "mask and gateway)").arg(column));
                columns.append(int(found));
            }
            continue;
        }

        if (fields->size() != columnCount)
            return failureAt(number, QStringLiteral("%1 fields, but the header has %2").arg(fields->size()).arg(columnCount));
        const QString macText = fields->at(columns[0]);
        const std::optional<QByteArray> mac = parseMacText(macText);
        if (!mac)
            return failureAt(number, QStringLiteral("MAC \"%1\" is not six hex pairs such as 02:4B:56:10:00:01").arg(macText));
        quint32 values[3] = {};
        for (int i = 0; i < 3; ++i) {
            const QString value = fields->at(columns[i + 1]);
            const QHostAddress address = decimalIPv4Address(value);
            if (address.isNull())
                return failureAt(number, QStringLiteral("%1 \"%2\" is not a dotted quad such as 192.168.1.10%3")
                                             .arg(RequiredColumns[i + 1], value,
                                                  i == 2 ? QStringLiteral(" (0.0.0.0 for none)") : QString()));
            values[i] = address.toIPv4Address();
        }
        reading.rows.append({number, *mac, {values[0], values[1], values[2]}});
    }
    if (reading.rows.isEmpty())
        return failure(QStringLiteral("the plan has a header but no device rows"));
    return reading;
}

} // namespace PlanFile
