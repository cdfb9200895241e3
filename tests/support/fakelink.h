#pragma once

#include "protocol/addresscheck.h"
#include "protocol/devicelink.h"

#include <QHostAddress>

namespace kvrtest {

// A device link without a socket, for the engine's parts that run over one: keeps the frames sent
// and plays device replies as if they had come in.
class FakeLink : public DeviceLink
{
public:
    QList<QByteArray> sent;

    SendFailure send(const QByteArray &frame, const QHostAddress &, int) override
    {
        sent.append(frame);
        return SendFailure::None;
    }

    void reply(const QByteArray &mac, const AddressCheck::Settings &settings, int interfaceIndex, quint32 source)
    {
        emit replyReceived({"PLC", mac, "PLC", {}, AddressCheck::settingsBytes(settings), {}}, interfaceIndex, source);
    }
};

} // namespace kvrtest
