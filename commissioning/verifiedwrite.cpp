#include "verifiedwrite.h"

#include "deviceendpoint.h"
#include "route.h"
#include "searchsession.h"

Frame::WriteValues writeValuesFor(const Frame::DeviceReply &device, const AddressCheck::Settings &settings)
{
    return {device.mac, device.mac, (device.name + QByteArray(10, ' ')).left(16), AddressCheck::settingsBytes(settings)};
}

VerifiedWrite::VerifiedWrite(DeviceEndpoint &endpoint, const QList<Adapters::Adapter> &adapters,
                             const FoundDevice &device, const AddressCheck::Settings &settings,
                             const Options &options, QObject *parent)
    : QObject(parent), m_endpoint(endpoint), m_adapters(adapters), m_device(device), m_settings(settings),
      m_options(options)
{
    m_restartWait.setSingleShot(true);
    connect(&m_restartWait, &QTimer::timeout, this, &VerifiedWrite::searchForDevice);
}

void VerifiedWrite::start()
{
    const std::optional<DeviceRoute::Route> route =
        DeviceRoute::toDevice(m_device.settings().ip, m_device.interfaces, m_adapters);
    if (!route) {
        m_failure = QStringLiteral("the device answered on none of the adapters in use");
        finish(WriteOutcome::Outcome::NotSent);
        return;
    }
    const QByteArray frame = Frame::encodeWrite(writeValuesFor(m_device.reply, m_settings), m_endpoint.takeFrameSeq());
    if (const std::optional<QString> failure = m_endpoint.send(frame, *route)) {
        m_failure = *failure;
        finish(WriteOutcome::Outcome::NotSent);
        return;
    }
    if (!m_options.verify) {
        finish(WriteOutcome::Outcome::Sent);
        return;
    }
    m_restartWait.start(m_options.restartWaitMs);
}

void VerifiedWrite::searchForDevice()
{
    SearchSession::Options options;
    options.onlyMac = m_device.reply.mac;
    options.timeoutMs = m_options.verifyTimeoutMs;
    if (m_options.quietMs > 0)
        options.quietMs = m_options.quietMs;
    m_search = new SearchSession(m_endpoint, m_adapters, options, this);
    connect(m_search, &SearchSession::finished, this, [this] {
        if (!m_search->devices().isEmpty())
            m_answered = m_search->devices().first().settings();
        finish(WriteOutcome::classify(m_answered, m_settings));
    });
    m_search->start();
}

void VerifiedWrite::finish(WriteOutcome::Outcome outcome)
{
    if (m_finished)
        return;
    m_outcome = outcome;
    m_finished = true;
    emit finished();
}
