#include "verifiedwrite.h"

#include "deviceendpoint.h"
#include "route.h"
#include "searchsession.h"

#include <algorithm>

Frame::WriteValues writeValuesFor(const Frame::DeviceReply &device, const AddressCheck::Settings &settings)
{
    return {device.mac, device.mac, Frame::paddedName(device.name), AddressCheck::settingsBytes(settings)};
}

VerifiedWrite::VerifiedWrite(DeviceEndpoint &endpoint, const QList<Adapters::Adapter> &adapters,
                             const QList<Target> &targets, const Options &options, QObject *parent)
    : QObject(parent), m_endpoint(endpoint), m_adapters(adapters), m_targets(targets), m_options(options),
      m_results(targets.size())
{
    m_restartWait.setSingleShot(true);
    m_restartWait.setTimerType(Qt::PreciseTimer);
    connect(&m_restartWait, &QTimer::timeout, this, &VerifiedWrite::searchForDevices);
    m_settle.setSingleShot(true);
    m_settle.setTimerType(Qt::PreciseTimer);
    connect(&m_settle, &QTimer::timeout, this, &VerifiedWrite::settleWhenQuiet);
}

void VerifiedWrite::start()
{
    bool anyLeft = false;
    for (qsizetype i = 0; i < m_targets.size(); ++i) {
        const FoundDevice &device = m_targets.at(i).device;
        Result &result = m_results[i];
        if (m_heldBack || m_stopped) {
            result.failure = QStringLiteral("interrupted before its write was sent");
            continue;
        }
        const std::optional<DeviceRoute::Route> route = DeviceRoute::toDevice(device, m_adapters);
        if (!route) {
            result.failure = QStringLiteral("the device answered on none of the adapters in use");
            continue;
        }
        const QByteArray frame =
            Frame::encodeWrite(writeValuesFor(device.reply, m_targets.at(i).settings), m_endpoint.takeFrameSeq());
        if (const std::optional<QString> failure = m_endpoint.send(frame, *route)) {
            result.failure = *failure;
            continue;
        }
        result.left = true;
        result.write = {m_targets.at(i).settings, route->interfaceIndex, !route->broadcast};
        anyLeft = true;
        emit frameSent(i, *route);
    }
    if (m_finished)
        return;
    if (!anyLeft || !m_options.verify) {
        finish();
        return;
    }
    m_restartWait.start(m_options.restartWaitMs);
}

void VerifiedWrite::stop()
{
    if (m_finished)
        return;
    m_stopped = true;
    m_restartWait.stop();
    finish();
}

void VerifiedWrite::searchForDevices()
{
    SearchSession::Options options;
    for (qsizetype i = 0; i < m_targets.size(); ++i) {
        if (m_results.at(i).left)
            options.onlyMacs.append(m_targets.at(i).device.reply.mac);
    }
    options.timeoutMs = m_options.verifyTimeoutMs;
    options.quietMs = quietMs();
    options.untilStopped = true; // a second voice for a MAC may come after the first
    m_search = new SearchSession(m_endpoint, m_adapters, options, this);
    connect(m_search, &SearchSession::replyTaken, this, &VerifiedWrite::takeAnswer);
    connect(m_search, &SearchSession::finished, this, &VerifiedWrite::finish);
    m_clock.start();
    m_search->start();
}

int VerifiedWrite::quietMs() const
{
    return m_options.quietMs > 0 ? m_options.quietMs : SearchSession::DefaultQuietMs;
}

void VerifiedWrite::takeAnswer(const Frame::DeviceReply &reply, int interfaceIndex, quint32 source)
{
    for (qsizetype i = 0; i < m_targets.size(); ++i) {
        if (m_results.at(i).left && m_targets.at(i).device.reply.mac == reply.mac)
            m_results[i].answers.append(
                {AddressCheck::settingsFromBytes(reply.netAddr), interfaceIndex, source, m_clock.elapsed()});
    }
    settleWhenQuiet();
}

// Ends the search once every device has given an answer that counts and the quiet period after it
// has passed; until then, comes back when the last of those periods ends.
void VerifiedWrite::settleWhenQuiet()
{
    qint64 settled = 0;
    for (const Result &result : std::as_const(m_results)) {
        if (!result.left)
            continue;
        const std::optional<qint64> at = WriteOutcome::settledAt(result.answers, result.write, quietMs());
        if (!at)
            return;
        settled = std::max(settled, *at);
    }
    const qint64 now = m_clock.elapsed();
    if (now >= settled)
        m_search->stop();
    else
        m_settle.start(int(settled - now));
}

void VerifiedWrite::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_settle.stop();
    if (m_search && !m_search->isFinished())
        m_search->stop(); // finished() comes back here, and is ignored
    for (qsizetype i = 0; i < m_targets.size(); ++i) {
        Result &result = m_results[i];
        if (!result.left)
            result.outcome = WriteOutcome::Outcome::NotSent;
        else if (!m_options.verify || (m_stopped && !WriteOutcome::settledAt(result.answers, result.write, 0)))
            result.outcome = WriteOutcome::Outcome::Sent;
        else
            result.outcome = WriteOutcome::judge(result.answers, result.write);
    }
    emit finished();
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
