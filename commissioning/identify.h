#pragma once

#include "protocol/frame.h"
#include "route.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <optional>

class DeviceEndpoint;

// Makes one device flash its LEDs so that it can be found in the cabinet: a flash frame now and
// every 500 ms (a device stops flashing by itself when they cease), and the off frame on stop().
class Identify : public QObject
{
    Q_OBJECT

public:
    Identify(DeviceEndpoint &endpoint, const QByteArray &mac, const DeviceRoute::Route &route,
             QObject *parent = nullptr);

    // Sends the first flash frame; nothing when it left, otherwise why not (no timer runs then).
    std::optional<QString> start();
    // Sends the off frame; nothing when it left, otherwise why not.
    std::optional<QString> stop();

    int flashFramesSent() const { return m_flashFramesSent; }
    // The first failure of a repeated flash frame, if any.
    QString failure() const { return m_failure; }

private:
    std::optional<QString> send(Frame::LedCommand command);

    DeviceEndpoint &m_endpoint;
    QByteArray m_mac;
    DeviceRoute::Route m_route;
    QTimer m_flash;
    int m_flashFramesSent = 0;
    QString m_failure;
};
