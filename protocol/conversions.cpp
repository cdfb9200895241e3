#include "conversions.h"

#include <QHostAddress>
#include <QStringList>

namespace {

// The past-the-end position counts as a non-digit.
int hexValue(const QString &text, qsizetype i)
{
    return i < text.size() ? hexDigitValue(text.at(i)) : -1;
}

int decimalValue(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') ? u - u'0' : -1;
}

bool isDotAt(const QString &text, qsizetype i)
{
    return i < text.size() && text.at(i) == u'.';
}

char toByte(int value)
{
    return static_cast<char>(static_cast<unsigned char>(value & 0xFF));
}

} // namespace

int hexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return -1;
}

QByteArray hexStringToBytes(const QString &text)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); i += 2)
        bytes.append(toByte(16 * hexValue(text, i) + hexValue(text, i + 1)));
    return bytes;
}

QByteArray dottedStringToBytes(const QString &text)
{
    QByteArray bytes;
    qsizetype p = 0;
    while (p < text.size()) {
        if (isDotAt(text, p)) {
            bytes.append(char(0));
            p += 1;
        } else if (isDotAt(text, p + 1)) {
            bytes.append(toByte(decimalValue(text.at(p))));
            p += 2;
        } else if (isDotAt(text, p + 2)) {
            bytes.append(toByte(10 * decimalValue(text.at(p)) + decimalValue(text.at(p + 1))));
            p += 3;
        } else if (isDotAt(text, p + 3)) {
            bytes.append(toByte(100 * decimalValue(text.at(p)) + 10 * decimalValue(text.at(p + 1))
                                + decimalValue(text.at(p + 2))));
            p += 4;
        } else {
            p += 4;
        }
    }
    return bytes;
}

QByteArray macTextToBytes(const QString &macText)
{
    QString hex = macText;
    hex.remove(u':');
    return hexStringToBytes(hex);
}

QHostAddress decimalIPv4Address(const QString &text)
{
    const QStringList groups = text.split(u'.');
    if (groups.size() != 4)
        return {};
    quint32 address = 0;
    for (const QString &group : groups) {
        if (group.isEmpty() || group.size() > 3)
            return {};
        int value = 0;
        for (QChar c : group) {
            const int digit = decimalValue(c);
            if (digit < 0)
                return {};
            value = value * 10 + digit;
        }
        if (value > 255)
            return {};
        address = (address << 8) | quint32(value);
    }
    return QHostAddress(address);
}

std::optional<QByteArray> parseMacText(const QString &text)
{
    constexpr int MacSize = 6;
    if (text.size() != 3 * MacSize - 1)
        return std::nullopt;
    const QChar separator = text.at(2);
    if (separator != u':' && separator != u'-')
        return std::nullopt;
    QByteArray mac;
    for (int i = 0; i < MacSize; ++i) {
        const int high = hexDigitValue(text.at(3 * i));
        const int low = hexDigitValue(text.at(3 * i + 1));
        if (high < 0 || low < 0 || (i + 1 < MacSize && text.at(3 * i + 2) != separator))
            return std::nullopt;
        mac.append(toByte(high * 16 + low));
    }
    return mac;
}

QString macBytesToText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(':').toUpper());
}

QString ipv4Text(quint32 address)
{
    return QHostAddress(address).toString();
}

QString bytesToDottedText(const QByteArray &bytes)
{
    QString text;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            text += QLatin1Char('.');
        text += QString::number(quint8(bytes.at(i)));
    }
    return text;
}
