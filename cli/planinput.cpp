#include "planinput.h"

#include "command.h"
#include "textformats.h"

#include "protocol/conversions.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Cli::PlanInput {

namespace {

QString ordinal(int n)
{
    const int lastTwo = n % 100;
    const char *suffix = lastTwo >= 11 && lastTwo <= 13 ? "th"
        : n % 10 == 1                                    ? "st"
        : n % 10 == 2                                    ? "nd"
        : n % 10 == 3                                    ? "rd"
                                                         : "th";
    return QString::number(n) + QLatin1String(suffix);
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// At most PlanFile::MaxBytes + 1 bytes (one more tells the reader the plan is too large), from a
// regular file or a pipe only: a device such as /dev/zero or /dev/tty is no plan.
std::optional<QByteArray> readBytes(const QString &path, QString &error)
{
    const bool standardInput = path == QLatin1String("-");
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    if (!standardInput && ::stat(name.constData(), &status) != 0) {
        error = systemError(errno);
        return std::nullopt;
    }
    // Standard input is taken as it comes (a terminal too): the size bound holds for it as well.
    const auto usable = [&] {
        if (standardInput || S_ISREG(status.st_mode) || S_ISFIFO(status.st_mode))
            return true;
        error = S_ISDIR(status.st_mode) ? QStringLiteral("it is a folder, not a plan")
                                        : QStringLiteral("it is not a regular file or a pipe");
        return false;
    };
    if (!usable())
        return std::nullopt;
    const int fd = standardInput ? STDIN_FILENO : ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = systemError(errno);
        return std::nullopt;
    }
    // Checked again on what was opened: the path may have changed meanwhile.
    if (::fstat(fd, &status) != 0 || !usable()) {
        if (error.isEmpty())
            error = systemError(errno);
        if (!standardInput)
            ::close(fd);
        return std::nullopt;
    }
    QByteArray content;
    content.reserve(S_ISREG(status.st_mode) ? qsizetype(qMin<off_t>(status.st_size, PlanFile::MaxBytes + 1)) : 0);
    char buffer[65536];
    while (content.size() <= PlanFile::MaxBytes) {
        const ssize_t got = ::read(fd, buffer, size_t(qMin<qsizetype>(qsizetype(sizeof buffer),
                                                                       PlanFile::MaxBytes + 1 - content.size())));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = systemError(errno);
            content.clear();
            break;
        }
        if (got == 0)
            break;
        content.append(buffer, got);
    }
    if (!standardInput)
        ::close(fd);
    if (!error.isEmpty())
        return std::nullopt;
    return content;
}

} // namespace

QString describe(const PlanFile::Error &error)
{
    using PlanFile::Problem;
    const QString column = PlanFile::columnName(error.column);
    QString where = error.line > 0 ? QStringLiteral("line %1: ").arg(error.line) : QString();
    switch (error.problem) {
    case Problem::TooLarge:
        return QStringLiteral("the plan is larger than %1 MB; a plan holds a row per device, a few kilobytes")
            .arg(PlanFile::MaxBytes / (1024 * 1024));
    case Problem::Empty:
        return QStringLiteral("the plan is empty: it needs a header row (mac,ip,mask,gateway) and a row per device");
    case Problem::UnclosedQuote:
        return where + QStringLiteral("a double quote is not closed");
    case Problem::TextAfterQuote:
        return where + QStringLiteral("text follows a closing double quote in the %1 field").arg(ordinal(error.field));
    case Problem::CarriageReturn:
        return where + QStringLiteral("a carriage return inside the line (lines must end in LF or CRLF)");
    case Problem::NoColumnNamed: {
        const QString needs = QStringLiteral("the header names none of the columns a plan needs (mac, ip, mask and gateway)");
        switch (error.separator) {
        case ',': return where + needs + QStringLiteral(", with commas as separators");
        case ';': return where + needs + QStringLiteral(", with semicolons as separators");
        case '\t': return where + needs + QStringLiteral(", with tabs as separators");
        default: return where + needs + QStringLiteral(", and has no separator (a comma, a semicolon or a tab)");
        }
    }
    case Problem::ColumnMissing:
        return where + QStringLiteral("the header has no column %1 (it must name mac, ip, mask and gateway)").arg(column);
    case Problem::ColumnTwice:
        return where + QStringLiteral("the column %1 appears twice").arg(column);
    case Problem::TooManyRows:
        return where + QStringLiteral("the plan has more than %1 rows, far more than any plant").arg(PlanFile::MaxRows);
    case Problem::MissingField:
        return where + QStringLiteral("%1 fields, but the column %2 is the %3 of the header")
                           .arg(error.fieldCount)
                           .arg(column, ordinal(error.field));
    case Problem::ExtraField:
        return where + QStringLiteral("the %1 field (\"%2\") lies past the header's %3 columns: a value that holds "
                                      "a separator needs double quotes")
                           .arg(ordinal(error.field), echoed(error.value))
                           .arg(error.field - 1);
    case Problem::NotUtf8:
        return where + QStringLiteral("the column %1 holds bytes that are not UTF-8 text: save the plan as "
                                      "\"CSV UTF-8\"")
                           .arg(column);
    case Problem::BadMac:
        return where + QStringLiteral("MAC \"%1\" is not six hex pairs such as 02:4B:56:10:00:01").arg(echoed(error.value));
    case Problem::BadAddress:
        return where + QStringLiteral("%1 \"%2\" is not a dotted quad such as 192.168.1.10%3")
                           .arg(column, echoed(error.value),
                                error.column == PlanFile::Column::Gateway ? QStringLiteral(" (0.0.0.0 for none)")
                                                                          : QString());
    case Problem::NoRows:
        return QStringLiteral("the plan has a header but no device rows");
    }
    return {};
}

QString describe(const PlanCheck::Repeat &repeat, qsizetype more)
{
    QString text = repeat.what == PlanCheck::Repeat::What::Mac
        ? QStringLiteral("line %1: refused: MAC %2 is already on line %3")
              .arg(repeat.line)
              .arg(macBytesToText(repeat.mac))
              .arg(repeat.firstLine)
        : QStringLiteral("line %1: refused: IP address %2 is already given to %3 on line %4")
              .arg(repeat.line)
              .arg(ipv4Text(repeat.ip), macBytesToText(repeat.mac))
              .arg(repeat.firstLine);
    if (more > 0)
        text += QStringLiteral(" (%1 more %2 repeat a MAC or an IP address of an earlier row)")
                    .arg(more)
                    .arg(more == 1 ? QStringLiteral("row") : QStringLiteral("rows"));
    return text;
}

std::optional<int> read(const Command &command, const QString &path, QList<PlanFile::Row> &rows)
{
    const QString source = path == QLatin1String("-") ? QStringLiteral("standard input") : printable(path);
    QString error;
    const std::optional<QByteArray> content = readBytes(path, error);
    if (!content)
        return command.fail(UsageError, QStringLiteral("cannot read %1: %2").arg(source, error));
    PlanFile::Reading reading = PlanFile::read(*content);
    if (!reading.ok())
        return command.fail(UsageError, QStringLiteral("%1: %2").arg(source, describe(*reading.error)));
    const QList<PlanCheck::Repeat> repeats = PlanCheck::repeats(reading.rows);
    if (!repeats.isEmpty())
        return command.fail(Refused, describe(repeats.constFirst(), repeats.size() - 1));
    rows = std::move(reading.rows);
    return std::nullopt;
}

} // namespace Cli::PlanInput
