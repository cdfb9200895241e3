// libFuzzer target: an address plan handed to kvrctl700-cli apply. Whatever the file holds, it is
// refused with one short printable line, or gives at most PlanFile::MaxRows rows that each name a
// device by its six MAC bytes, in file order. The rows it gives, written back as the search writes
// CSV beside a name made of the input's first bytes (quotes, separators, line breaks, formula
// characters and all), read back as the same rows; a repeat names a line before its own.

#include "cli/planinput.h"
#include "cli/textformats.h"
#include "commissioning/plancheck.h"
#include "commissioning/planfile.h"
#include "protocol/conversions.h"

#include <QHostAddress>

#include <cstddef>
#include <cstdint>

namespace {

QString address(quint32 value)
{
    return QHostAddress(value).toString();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const PlanFile::Reading reading = PlanFile::read(content);
    if (!reading.ok()) {
        const QString words = Cli::PlanInput::describe(*reading.error);
        if (!reading.rows.isEmpty() || words.isEmpty() || Cli::printable(words) != words || words.size() > 400)
            __builtin_trap();
        return 0;
    }
    if (reading.rows.isEmpty() || reading.rows.size() > PlanFile::MaxRows)
        __builtin_trap();
    int previousLine = 0;
    for (const PlanFile::Row &row : reading.rows) {
        if (row.mac.size() != 6 || row.line <= previousLine)
            __builtin_trap();
        previousLine = row.line;
    }
    for (const PlanCheck::Repeat &repeat : PlanCheck::repeats(reading.rows)) {
        if (repeat.firstLine >= repeat.line)
            __builtin_trap();
    }

    const QString name = QString::fromLatin1(content.left(64));
    QString csv = Cli::csvLine({QStringLiteral("name"), QStringLiteral("mac"), QStringLiteral("ip"), QStringLiteral("mask"),
                                QStringLiteral("gateway")});
    for (const PlanFile::Row &row : reading.rows)
        csv += Cli::csvLine({name, macBytesToText(row.mac), address(row.settings.ip), address(row.settings.mask),
                             address(row.settings.gateway)});
    const PlanFile::Reading again = PlanFile::read(csv.toUtf8());
    if (!again.ok() || again.rows.size() != reading.rows.size())
        __builtin_trap();
    for (qsizetype i = 0; i < again.rows.size(); ++i) {
        if (again.rows.at(i).mac != reading.rows.at(i).mac || again.rows.at(i).settings != reading.rows.at(i).settings)
            __builtin_trap();
    }
    return 0;
}
