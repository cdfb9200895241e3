#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class QHostAddress;

// Conversions between the texts the user sees and the bytes of a frame.
// The text-to-byte ones keep the device tool's long-standing rules, quirks included: they never
// refuse input, malformed text simply yields other bytes (or other byte counts). parseMacText()
// and decimalIPv4Address() are the strict readers for input that must be refused when malformed.

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
QHostAddress decimalIPv4Address(const QString &text);

// Six hex pairs (either case) joined by ':' or '-', as a user types a MAC: the six bytes, or
// nothing for any other text.
std::optional<QByteArray> parseMacText(const QString &text);

// Six bytes 50 E5 49 CE 2E 4A give "50:E5:49:CE:2E:4A": upper-case pairs joined by ':'.
QString macBytesToText(const QByteArray &bytes);

// An IPv4 address in host byte order as a dotted quad: 0xC6120014 gives "198.18.0.20".
QString ipv4Text(quint32 address);

// Every byte as an unpadded decimal number, joined by '.': C0 A8 01 02 gives "192.168.1.2".
QString bytesToDottedText(const QByteArray &bytes);
