#include "textformats.h"

namespace Cli {

QString textTable(const QStringList &header, const QList<QStringList> &rows)
{
    QList<qsizetype> widths;
    for (const QString &cell : header)
        widths.append(cell.size());
    for (const QStringList &row : rows) {
        for (qsizetype i = 0; i < row.size() && i < widths.size(); ++i)
            widths[i] = qMax(widths[i], row.at(i).size());
    }
    QString text;
    for (const QStringList &row : QList<QStringList>{header} + rows) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row.at(i).leftJustified(widths[i] + 2) : row.at(i);
        text += line.trimmed() + u'\n';
    }
    return text;
}

QString csvLine(const QStringList &fields)
{
    QStringList quoted;
    for (const QString &field : fields) {
        const bool needsQuotes = field.contains(u',') || field.contains(u'"') || field != field.trimmed();
        quoted.append(needsQuotes ? u'"' + QString(field).replace(u'"', QLatin1String("\"\"")) + u'"' : field);
    }
    return quoted.join(u',') + u'\n';
}

} // namespace Cli
