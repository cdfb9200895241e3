// libFuzzer target: the simulator reads every datagram a tool sends as a careful device does, and
// decides on a write alone. Any datagram gets a command or a reason, never both; a write is taken
// only when the device it leaves behind is usable.

#include "toolframe.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // No copy: the sanitizer sees any read past the datagram.
    const QByteArray datagram = QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                                        qsizetype(size));
    const DevSim::ParsedToolFrame parsed = DevSim::parseToolFrame(datagram);
    if (parsed.command.has_value() == !parsed.rejection.isEmpty())
        __builtin_trap();

    // The write checks also see values of any size, not only those of well-formed frames.
    Frame::WriteValues write{{}, datagram.left(6), datagram.mid(6, 16), datagram.mid(22, 12)};
    if (parsed.command && parsed.command->kind == DevSim::ToolCommand::Write) {
        write = parsed.command->write;
        if (write.targetMac.size() != 6 || write.mac.size() != 6 || write.name.size() != 16
            || write.netAddr.size() != 12)
            __builtin_trap();
    }
    const DevSim::SimDevice device{1, "FUZZ-PLC", QByteArray::fromHex("024B56000001"),
                                   {0xC6120010u, 0xFFFFFF00u, 0xC61200FEu}, {}, {}};
    const QByteArray otherMac = QByteArray::fromHex("024B56000002");
    const DevSim::WriteDecision decision = DevSim::checkWrite(device, write, {otherMac});
    if (!decision.updated) {
        if (decision.refusal.isEmpty())
            __builtin_trap();
        return 0;
    }
    const DevSim::SimDevice &taken = *decision.updated;
    if (DevSim::nameProblem(taken.name) || DevSim::macProblem(taken.mac) || taken.mac == otherMac
        || DevSim::netConfigProblem(taken.net))
        __builtin_trap();
    return 0;
}
