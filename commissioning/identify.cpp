#include "identify.h"

#include "deviceendpoint.h"

Identify::Identify(DeviceEndpoint &endpoint, const QByteArray &mac, const DeviceRoute::Route &route, QObject *parent)
    : QObject(parent), m_endpoint(endpoint), m_mac(mac), m_route(route)
{
    m_flash.setInterval(Frame::FlashIntervalMs);
    connect(&m_flash, &QTimer::timeout, this, [this] {
        if (const std::optional<QString> failure = send(Frame::LedCommand::Flash); failure && m_failure.isEmpty())
            m_failure = *failure;
    });
}

std::optional<QString> Identify::start()
{
    std::optional<QString> failure = send(Frame::LedCommand::Flash);
    if (!failure)
        m_flash.start();
    return failure;
}

std::optional<QString> Identify::stop()
{
    m_flash.stop();
    return send(Frame::LedCommand::Off);
}

std::optional<QString> Identify::send(Frame::LedCommand command)
{
    std::optional<QString> failure =
        m_endpoint.send(Frame::encodeLed(m_mac, command, m_endpoint.takeFrameSeq()), m_route);
    if (!failure && command == Frame::LedCommand::Flash)
        ++m_flashFramesSent;
    return failure;
}
