#pragma once

#include "protocol/devicelink.h"
#include "protocol/frame.h"
#include "route.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

// Makes one device flash its LEDs so that it can be found in the cabinet: a flash frame now and
// every Frame::FlashIntervalMs (a device stops flashing by itself when they cease), and the off
// frame on stop().
class Identify : public QObject
{
    Q_OBJECT

public:
    Identify(DeviceLink &link, const QByteArray &mac, const DeviceRoute::Route &route, QObject *parent = nullptr);

    // Sends the first flash frame; no timer runs when it did not leave.
    DeviceLink::SendFailure start();
    // Sends the off frame.
    DeviceLink::SendFailure stop();

    int flashFramesSent() const { return m_flashFramesSent; }
    // The first failure of a repeated flash frame, if any, with the system's words for a NetworkError.
    DeviceLink::SendFailure repeatFailure() const { return m_repeatFailure; }
    QString repeatError() const { return m_repeatError; }

private:
    DeviceLink::SendFailure send(Frame::LedCommand command);

    DeviceLink &m_link;
    QByteArray m_mac;
    DeviceRoute::Route m_route;
    QTimer m_flash;
    int m_flashFramesSent = 0;
    DeviceLink::SendFailure m_repeatFailure = DeviceLink::SendFailure::None;
    QString m_repeatError;
};
