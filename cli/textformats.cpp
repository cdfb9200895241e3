#include "textformats.h"

#include "command.h"

#include <QJsonDocument>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace Cli {

namespace {

bool needsEscape(QChar c)
{
    switch (c.category()) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
    case QChar::Other_Surrogate: // a lone half of a pair
        return true;
    default:
        return false;
    }
}

void reportOutputFailure(const QString &command, int error)
{
    QString line = QStringLiteral("kvrctl700-cli %1: cannot write standard output").arg(command);
    if (error != 0)
        line += QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
    line += u'\n';
    const QByteArray bytes = line.toLocal8Bit();
    // Straight to the descriptor: standard error is unbuffered, and nothing else may fail here.
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, bytes.constData(), size_t(bytes.size()));
}

} // namespace

QString textTable(const QStringList &header, const QList<QStringList> &rows)
{
    QList<QStringList> shown{header};
    for (const QStringList &row : rows) {
        QStringList cells;
        for (const QString &cell : row)
            cells.append(printable(cell));
        shown.append(cells);
    }
    QList<qsizetype> widths;
    for (const QString &cell : header)
        widths.append(cell.size());
    for (const QStringList &row : shown) {
        for (qsizetype i = 0; i < row.size() && i < widths.size(); ++i)
            widths[i] = qMax(widths[i], row.at(i).size());
    }
    QString text;
    for (const QStringList &row : shown) {
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
    for (QString field : fields) {
        static const QString Formula = QStringLiteral("=+-@\t\r");
        if (!field.isEmpty() && Formula.contains(field.front()))
            field.prepend(u'\'');
        const bool needsQuotes = field.contains(u',') || field.contains(u'"') || field.contains(u'\n')
            || field.contains(u'\r') || field != field.trimmed();
        quoted.append(needsQuotes ? u'"' + field.replace(u'"', QLatin1String("\"\"")) + u'"' : field);
    }
    return quoted.join(u',') + u'\n';
}

QString printable(const QString &text)
{
    if (std::none_of(text.cbegin(), text.cend(), needsEscape))
        return text;
    QString shown;
    shown.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (!needsEscape(c)) {
            shown += c;
            continue;
        }
        switch (c.unicode()) {
        case u'\n': shown += QLatin1String("\\n"); break;
        case u'\r': shown += QLatin1String("\\r"); break;
        case u'\t': shown += QLatin1String("\\t"); break;
        case 0x1B: shown += QLatin1String("\\e"); break;
        default:
            shown += c.unicode() < 0x100 ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'))
                                         : QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        }
    }
    return shown;
}

QString echoed(const QString &value, qsizetype length)
{
    return value.size() <= length ? printable(value) : printable(value.left(length)) + QLatin1String("...");
}

QString jsonLine(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + u'\n';
}

void writeOutput(const QString &command, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    errno = 0;
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) != size_t(bytes.size())
        || std::fflush(stdout) != 0) {
        reportOutputFailure(command, errno);
        ::_exit(Environment); // output that cannot be written is a failure of the environment
    }
}

bool outputWritten(const QString &command)
{
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return true;
    reportOutputFailure(command, errno);
    return false;
}

} // namespace Cli
