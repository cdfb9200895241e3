#pragma once

#include "tools/isolatednetwork.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <optional>

namespace kvrtest {

// Socket tests refuse to run outside the namespace that make test creates.
#define KVR_REQUIRE_ISOLATED_NETWORK()                                                             \
    QVERIFY2(kvrtest::isIsolatedNetwork(),                                                         \
             "this test opens sockets: run it through 'make test' (tools/isolated.sh)")

// Collects the debug traces written while it lives, one line each.
class TraceCapture
{
public:
    TraceCapture();
    ~TraceCapture();
    TraceCapture(const TraceCapture &) = delete;
    TraceCapture &operator=(const TraceCapture &) = delete;

    QStringList lines() const;
};

// One TLV field of a hand-made frame: a type code, optionally followed by a byte string.
struct Tlv
{
    qint32 type;
    std::optional<QByteArray> value;
};

// A frame with the given header bytes and fields, written the way the devices write theirs
// (QDataStream). The length field is the real size unless given.
QByteArray rawFrame(quint8 typeCode, qint8 tlvCount, const QList<Tlv> &fields,
                    std::optional<quint32> lengthField = std::nullopt);

// Bytes from a text of hex pairs with optional blanks: "C0 A8 01 02".
QByteArray hex(const char *pairs);

} // namespace kvrtest
