#pragma once

#include "protocol/devicelink.h"
#include "protocol/deviceport.h"

class QUdpSocket;

// The command-line program's socket on UDP port 102, opened with DevicePort::open(): sends frames
// pinned to their adapter, and hands every accepted device reply on. One per process.
class DeviceEndpoint : public DeviceLink
{
    Q_OBJECT

public:
    explicit DeviceEndpoint(QObject *parent = nullptr);
    ~DeviceEndpoint() override;

    // DevicePort::open(); when another program holds the port, also asks it for its name (which
    // takes at most DevicePort::HolderAnswerMs).
    DevicePort::Opening open(const QString &description);

    SendFailure send(const QByteArray &frame, const QHostAddress &destination, int interfaceIndex) override;

private:
    void readPendingDatagrams();

    QUdpSocket *m_socket;
};
