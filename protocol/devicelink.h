#pragma once

#include "frame.h"

#include <QObject>
#include <QString>

class QHostAddress;

// What the engine's search, verification and identify need of a socket on UDP port 102: to send a
// frame on a route (a destination, and the adapter it is pinned to), the sequence number for the
// next frame, and each accepted device reply with the adapter it came in on. The command-line
// program's DeviceEndpoint and the window's MySocket both are one, so that one engine serves both.
class DeviceLink : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Why a frame did not go out.
    enum class SendFailure {
        None,
        PortNotOpen,       // port 102 is not bound: frames would leave from another port
        NotADeviceAddress, // no destination: the window's target address is not one device's
        NetworkError,      // the system refused it: no route, the adapter is gone, ... (lastSendError())
    };

    // Sends one frame to port 102 of `destination`, pinned to the adapter with this interface index
    // (0: the one the routing table chooses).
    virtual SendFailure send(const QByteArray &frame, const QHostAddress &destination, int interfaceIndex) = 0;
    // The system's words for the last NetworkError.
    QString lastSendError() const { return m_sendError; }

    // Every frame takes one, sent or not.
    quint32 takeFrameSeq() { return m_frameSeq++; }
    quint32 nextFrameSeq() const { return m_frameSeq; }

signals:
    // `source`: the IPv4 address it came from; `interfaceIndex` 0 when the system did not say.
    void replyReceived(const Frame::DeviceReply &reply, int interfaceIndex, quint32 source);

protected:
    void restartFrameSeq() { m_frameSeq = 0; }
    void setSendError(const QString &systemWords) { m_sendError = systemWords; }

private:
    quint32 m_frameSeq = 0;
    QString m_sendError;
};
