#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The datagrams exchanged with the devices on UDP port 102: an 18-byte header followed by TLV
// fields, every integer big-endian. Pure encoding and decoding: no socket, no state.
namespace Frame {

inline constexpr quint16 DevicePort = 102;
inline constexpr int HeaderSize = 18;
inline constexpr char Magic[] = "KORVEL";
inline constexpr int MagicSize = 6;

// Where the header's fields sit: the magic from byte 0, then one byte each for the mark, the
// sender's type code, a spare byte and the TLV count, then the total length and the sequence
// number as 32-bit integers.
namespace Offset {
inline constexpr int Mark = 6;
inline constexpr int TypeCode = 7;
inline constexpr int Spare = 8;
inline constexpr int TlvCount = 9;
inline constexpr int Length = 10;
inline constexpr int Sequence = 14;
} // namespace Offset

// Header bytes 6 to 8 of every frame the tool sends. The devices ignore the spare byte;
// the tool always sends 0 there.
inline constexpr quint8 hdrMark = 0x01;
inline constexpr quint8 devTypeCode = 0xF0;
inline constexpr quint8 hdrSpare = 0x00;

inline constexpr quint32 LedFrameSize = 42;
inline constexpr quint32 WriteFrameSize = 90;

// A device reply shorter than this is never accepted.
inline constexpr int MinReplySize = 96;

enum TlvType : qint32 {
    TlvFieldList = 0,
    TlvMac = 1,
    TlvName = 2,
    TlvSwVersion = 3,
    TlvNetAddr = 4,
    TlvPoints = 5,
    TlvLed = 6,
    TlvReserved = 7,
    TlvTargetMac = 8,
};

enum class LedCommand : quint16 { Off = 0, Flash = 2 };
// A device flashes its LEDs while flash frames keep coming at this pace, and stops by itself
// when they cease.
inline constexpr int FlashIntervalMs = 500;

QByteArray encodeSearch(quint32 frameSeq);
QByteArray encodeLed(const QByteArray &targetMac, LedCommand command, quint32 frameSeq);

// The values of a write frame, as bytes. The declared frame length stays 90 whatever their sizes.
struct WriteValues
{
    QByteArray targetMac; // the device that must act on the frame
    QByteArray mac;       // the MAC address to set
    QByteArray name;      // the device name, 16 bytes for a well-formed frame
    QByteArray netAddr;   // IPv4 address, subnet mask, gateway: 12 bytes for a well-formed frame
};
QByteArray encodeWrite(const WriteValues &values, quint32 frameSeq);

// The texts a write frame is built from, as the table and the detail window show them.
struct WriteTexts
{
    QString targetMac;
    QString mac;
    QString name;
    QString ipAddress;
    QString subnetMask;
    QString gateway;
};
// A name as write frames carry it: ten blanks appended, then cut to 16 bytes (a name shorter than
// six bytes stays shorter than 16, as devices have always been sent it).
QByteArray paddedName(const QByteArray &name);

// The name is converted to Latin-1 (characters outside it become '?'), then padded; the three
// addresses are joined with '.' and closed by one.
WriteValues writeValuesFromTexts(const WriteTexts &texts);

enum class HeaderCheck {
    Ok,
    TooShort,       // fewer than 18 bytes
    BadMagic,       // bytes 0-5 are not "KORVEL"
    LengthMismatch, // the length field differs from the datagram's size
    BadCount,       // the TLV count is not within 1..6
};

// What the TLV walk came across, in order, for the receive loop's traces.
struct WalkEvent
{
    enum Kind { FieldList, IllegalType };
    Kind kind;
    QByteArray value; // the type-0 value, for FieldList
};

// The device record carried by an accepted reply.
struct DeviceReply
{
    QByteArray type; // "PLC", "HMI", "SERVO", "VFD" or empty
    QByteArray mac;
    QByteArray name;
    QByteArray swVersion;
    QByteArray netAddr;
    QByteArray points;
};

struct Decoded
{
    HeaderCheck header = HeaderCheck::TooShort;
    bool accepted = false;
    DeviceReply reply;        // meaningful only when accepted
    QList<WalkEvent> events;  // empty unless the header passed
};

// The header checks every receiver makes: size, magic, length field, TLV count within 1..6.
HeaderCheck checkHeader(const QByteArray &datagram);

// A device's reply to a search, as a device sends it (the device simulator and the tests play
// devices): MAC, name, version, addresses, points, in that order; a null version or points value
// is left out and its place taken by a field that ends the walk. Zero-padded to the 96 bytes
// below which a reply is not accepted. The reply's type text is ignored: typeCode is byte 7.
QByteArray encodeReply(quint8 typeCode, const DeviceReply &device, quint32 frameSeq);

// Never reads outside the datagram: reading past its end yields type 0 and empty values.
Decoded decode(const QByteArray &datagram);

// True when the header starts with the magic "KORVEL".
bool isProtocolFrame(const QByteArray &header);
// The type text for header byte 7 (1 "PLC", 2 "HMI", 3 "SERVO", 4 "VFD"), empty for any other code.
QByteArray devTypeText(quint8 code);

} // namespace Frame
