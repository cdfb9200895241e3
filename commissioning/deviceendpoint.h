#pragma once

#include "protocol/deviceport.h"
#include "protocol/frame.h"
#include "route.h"

#include <QObject>

#include <optional>

class QUdpSocket;

// The engine's one socket on UDP port 102, opened with DevicePort::open(): sends frames on a
// route, pinned to the route's adapter, and hands every accepted device reply on with the
// interface index it arrived on. One per process; the window keeps its own endpoint instead.
class DeviceEndpoint : public QObject
{
    Q_OBJECT

public:
    explicit DeviceEndpoint(QObject *parent = nullptr);
    ~DeviceEndpoint() override;

    // DevicePort::open(); when another program holds the port, also asks it for its name (which
    // takes at most DevicePort::HolderAnswerMs).
    DevicePort::Opening open(const QString &description);

    // The sequence number for the next frame; every frame takes one, sent or not.
    quint32 takeFrameSeq() { return m_frameSeq++; }

    // Sends one frame; nothing when the whole frame left, otherwise why it did not.
    std::optional<QString> send(const QByteArray &frame, const DeviceRoute::Route &route);

signals:
    // `source`: the IPv4 address it came from.
    void replyReceived(const Frame::DeviceReply &reply, int interfaceIndex, quint32 source);

private:
    void readPendingDatagrams();

    QUdpSocket *m_socket;
    quint32 m_frameSeq = 0;
};
