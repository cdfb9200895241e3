#pragma once

#include "protocol/frame.h"
#include "simdevice.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// A device's side of the protocol: reading the frames a configuration tool sends (search, LED,
// write) strictly, as a careful device does, and deciding whether to take new settings.
namespace DevSim {

struct ToolCommand
{
    enum Kind { Search, Led, Write };

    Kind kind = Search;
    QByteArray targetMac;                          // LED and write frames: the device that must act
    Frame::LedCommand led = Frame::LedCommand::Off; // LED frames
    Frame::WriteValues write;                      // write frames; its targetMac equals targetMac
};

struct ParsedToolFrame
{
    std::optional<ToolCommand> command;
    QString rejection; // why the datagram is no command, when command is empty
};

// Accepts a frame only when every byte is accounted for: the header checks, the sender type of a
// tool (0xF0), exactly the declared number of complete fields and nothing after them, and one of
// the three field sets: {0} search, {8, 6} LED (value 0 or 2), {8, 1, 2, 4} write (values of 6, 6,
// 16 and 12 bytes). The order of the fields is free; a repeated type is refused.
ParsedToolFrame parseToolFrame(const QByteArray &datagram);

struct WriteDecision
{
    std::optional<SimDevice> updated; // the device with its new settings, when it takes them
    QString refusal;                  // why not, otherwise
};

// What a device does with a write frame addressed to it: the name loses its padding blanks, then
// name, MAC (which no other device may use) and IPv4 settings must all be usable.
WriteDecision checkWrite(const SimDevice &device, const Frame::WriteValues &write,
                         const QList<QByteArray> &otherMacs);

// Datagrams that look like traffic on port 102 but that no tool accepts as a reply: a bad magic,
// a wrong length field, a field count out of range, a reply without a field count of 5, a reply
// too short to be accepted, a runt, and the like. The same index gives the same datagram.
QByteArray junkDatagram(int index);

} // namespace DevSim
