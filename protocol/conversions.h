#pragma once

#include <QByteArray>
#include <QString>

// Text-to-byte conversions used to build the frames sent to a device.
// They keep the device tool's long-standing rules, quirks included: they never refuse input,
// malformed text simply yields other bytes (or other byte counts).

// The value of an ASCII hex digit (either case), -1 for any other character.
int hexDigitValue(QChar c);

// Two hexadecimal digits per byte, (16 * h(c0) + h(c1)) modulo 256, where h is -1 for anything
// that is not a hex digit and for the position past the end ("5" -> 4F, "0G" -> FF).
// An empty text gives a null byte array.
QByteArray hexStringToBytes(const QString &text);

// One byte per decimal group closed by '.', modulo 256 ("1.22.333.4444." -> 01 16 4D 00):
// a lone '.' is a 0 byte, a run of four or more characters before a '.' is skipped.
QByteArray dottedStringToBytes(const QString &text);

// The MAC text as the table shows it ("50:E5:49:CE:2E:4A") with every ':' removed, then hex-decoded.
QByteArray macTextToBytes(const QString &macText);

// A dotted-quad IPv4 text read as four decimal groups: "192.168.001.002" is 192.168.1.2, never
// octal. Anything else (wrong group count, a group above 255, a non-digit) gives a null address.
class QHostAddress;
QHostAddress decimalIPv4Address(const QString &text);
