// libFuzzer target: whatever arrives on port 102 goes through the decoder, and whatever the user
// types goes through the text-to-byte conversions. Neither may read outside its input or crash.

#include "protocol/conversions.h"
#include "protocol/frame.h"

#include <QHostAddress>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // No copy: the sanitizer sees any read past the datagram.
    const QByteArray datagram = QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                                        qsizetype(size));
    const Frame::Decoded decoded = Frame::decode(datagram);
    if (decoded.accepted && (decoded.reply.mac.size() != 6 || decoded.reply.netAddr.size() != 12))
        __builtin_trap();

    const QString text = QString::fromUtf8(datagram);
    hexStringToBytes(text);
    dottedStringToBytes(text);
    decimalIPv4Address(text);
    return 0;
}
