#include "identify.h"

Identify::Identify(DeviceLink &link, const QByteArray &mac, const DeviceRoute::Route &route, QObject *parent)
    : QObject(parent), m_link(link), m_mac(mac), m_route(route)
{
    m_flash.setInterval(Frame::FlashIntervalMs);
    connect(&m_flash, &QTimer::timeout, this, [this] {
        const DeviceLink::SendFailure failure = send(Frame::LedCommand::Flash);
        if (failure != DeviceLink::SendFailure::None && m_repeatFailure == DeviceLink::SendFailure::None) {
            m_repeatFailure = failure;
            m_repeatError = m_link.lastSendError();
        }
    });
}

DeviceLink::SendFailure Identify::start()
{
    const DeviceLink::SendFailure failure = send(Frame::LedCommand::Flash);
    if (failure == DeviceLink::SendFailure::None)
        m_flash.start();
    return failure;
}

DeviceLink::SendFailure Identify::stop()
{
    m_flash.stop();
    return send(Frame::LedCommand::Off);
}

DeviceLink::SendFailure Identify::send(Frame::LedCommand command)
{
    const DeviceLink::SendFailure failure =
        m_link.send(Frame::encodeLed(m_mac, command, m_link.takeFrameSeq()), m_route.destination, m_route.interfaceIndex);
    if (failure == DeviceLink::SendFailure::None && command == Frame::LedCommand::Flash)
        ++m_flashFramesSent;
    return failure;
}
