// libFuzzer target: an address plan handed to kvrctl700-cli apply. Whatever the file holds, it is
// refused with one line, or gives rows that each name a device by its six MAC bytes, in file order.

#include "commissioning/planfile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const PlanFile::Reading reading = PlanFile::read(content);
    if (!reading.ok()) {
        if (!reading.rows.isEmpty() || reading.error.contains(u'\n'))
            __builtin_trap();
        return 0;
    }
    int previousLine = 1; // the header
    for (const PlanFile::Row &row : reading.rows) {
        if (row.mac.size() != 6 || row.line <= previousLine)
            __builtin_trap();
        previousLine = row.line;
    }
    return 0;
}
