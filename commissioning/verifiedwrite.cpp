#include "verifiedwrite.h"

#include "route.h"

#include <algorithm>

Frame::WriteValues writeValuesFor(const Frame::DeviceReply &device, const AddressCheck::Settings &settings)
{
    return {device.mac, device.mac, Frame::paddedName(device.name), AddressCheck::settingsBytes(settings)};
}

VerifiedWrite::VerifiedWrite(DeviceLink &link, const QList<Adapters::Adapter> &adapters,
                             const QList<Target> &targets, const Options &options, QObject *parent)
    : QObject(parent), m_link(link), m_adapters(adapters), m_targets(targets), m_options(options),
      m_results(targets.size())
{
}

void VerifiedWrite::start()
{
    QList<WriteVerification::Target> sent;
    for (qsizetype i = 0; i < m_targets.size(); ++i) {
        const FoundDevice &device = m_targets.at(i).device;
        Result &result = m_results[i];
        if (m_heldBack || m_stopped) {
            result.notSent = NotSentReason::Interrupted;
            continue;
        }
        const std::optional<DeviceRoute::Route> route = DeviceRoute::toDevice(device, m_adapters);
        if (!route) {
            result.notSent = NotSentReason::NoRoute;
            continue;
        }
        const QByteArray frame =
            Frame::encodeWrite(writeValuesFor(device.reply, m_targets.at(i).settings), m_link.takeFrameSeq());
        result.sendFailure = m_link.send(frame, route->destination, route->interfaceIndex);
        if (result.sendFailure != DeviceLink::SendFailure::None) {
            result.notSent = NotSentReason::SendFailed;
            result.sendError = m_link.lastSendError();
            continue;
        }
        result.verified = sent.size();
        sent.append({device.reply.mac, {m_targets.at(i).settings, route->interfaceIndex, !route->broadcast}});
        emit frameSent(i, *route);
    }
    if (m_finished)
        return;
    if (sent.isEmpty() || !m_options.verify) {
        finish();
        return;
    }
    m_verification = new WriteVerification(m_link, m_adapters, sent, m_options.verification, this);
    connect(m_verification, &WriteVerification::finished, this, &VerifiedWrite::finish);
    m_verification->start();
}

void VerifiedWrite::stop()
{
    if (m_finished)
        return;
    m_stopped = true;
    if (m_verification)
        m_verification->stop(); // finishes this one too
    else
        finish();
}

void VerifiedWrite::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    emit finished();
}

WriteOutcome::Outcome VerifiedWrite::outcome(qsizetype index) const
{
    const qsizetype verified = m_results.at(index).verified;
    if (verified < 0)
        return WriteOutcome::Outcome::NotSent;
    if (!m_verification)
        return WriteOutcome::Outcome::Sent;
    return m_verification->outcome(verified);
}

std::optional<AddressCheck::Settings> VerifiedWrite::answered(qsizetype index) const
{
    const qsizetype verified = m_results.at(index).verified;
    return verified < 0 || !m_verification ? std::nullopt : m_verification->answered(verified);
}

QList<AddressCheck::Settings> VerifiedWrite::heard(qsizetype index) const
{
    const qsizetype verified = m_results.at(index).verified;
    return verified < 0 || !m_verification ? QList<AddressCheck::Settings>() : m_verification->heard(verified);
}

QList<QList<qsizetype>> writeGroups(qsizetype writes, int batchSize)
{
    QList<QList<qsizetype>> groups;
    for (qsizetype next = 0; next < writes;) {
        const qsizetype size = next == 0 ? 1 : batchSize > 0 ? qsizetype(batchSize) : writes - next;
        QList<qsizetype> group;
        for (qsizetype i = next; i < std::min(writes, next + size); ++i)
            group.append(i);
        groups.append(group);
        next += size;
    }
    return groups;
}
