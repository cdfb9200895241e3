#include "searchsession.h"

#include <QHostAddress>

#include <algorithm>

SearchRound sendSearchRound(DeviceLink &link, const QList<Adapters::Adapter> &adapters)
{
    SearchRound round;
    const auto sendOn = [&](const QString &adapterName, int interfaceIndex) {
        const DeviceLink::SendFailure failure =
            link.send(Frame::encodeSearch(link.takeFrameSeq()), QHostAddress(QHostAddress::Broadcast), interfaceIndex);
        if (failure == DeviceLink::SendFailure::None)
            ++round.sent;
        else
            round.failures.append({adapterName, failure, link.lastSendError()});
    };
    if (adapters.isEmpty())
        sendOn(QString(), 0);
    for (const Adapters::Adapter &adapter : adapters)
        sendOn(adapter.name, adapter.index);
    return round;
}

SearchSession::SearchSession(DeviceLink &link, const QList<Adapters::Adapter> &adapters,
                             const Options &options, QObject *parent)
    : QObject(parent), m_link(link), m_adapters(adapters), m_options(options)
{
    m_quiet.setSingleShot(true);
    m_quiet.setTimerType(Qt::PreciseTimer);
    m_quiet.setInterval(!options.onlyMacs.isEmpty() ? qMax(options.quietMs, TargetRoundMs) : options.quietMs);
    m_deadline.setSingleShot(true);
    m_deadline.setTimerType(Qt::PreciseTimer);
    connect(&m_quiet, &QTimer::timeout, this, &SearchSession::roundWentQuiet);
    connect(&m_deadline, &QTimer::timeout, this, &SearchSession::finish);
}

void SearchSession::start()
{
    connect(&m_link, &DeviceLink::replyReceived, this, &SearchSession::takeReply);
    m_deadline.start(m_options.timeoutMs);
    startRound();
}

void SearchSession::startRound()
{
    ++m_round;
    m_newInRound = false;
    QList<Adapters::Adapter> working;
    std::copy_if(m_adapters.cbegin(), m_adapters.cend(), std::back_inserter(working),
                 [this](const Adapters::Adapter &adapter) { return !hasFailed(adapter); });
    // Never empty when m_adapters is not: a round in which every adapter failed ended the search.
    const SearchRound round = sendSearchRound(m_link, working);
    m_failed.append(round.failures);
    m_anySent = m_anySent || round.sent > 0;
    if (round.sent == 0) {
        finish();
        return;
    }
    m_quiet.start();
}

void SearchSession::takeReply(const Frame::DeviceReply &reply, int interfaceIndex, quint32 source)
{
    if (m_finished || (!m_options.onlyMacs.isEmpty() && !m_options.onlyMacs.contains(reply.mac)))
        return;
    // A reply that came in by an adapter not searched on answers someone else's search (or an
    // earlier one of ours); 0 means the system did not say.
    if (interfaceIndex != 0 && !m_adapters.isEmpty() && !Adapters::findByIndex(m_adapters, interfaceIndex))
        return;
    if (m_devices.size() >= m_options.maxDevices && !findDevice(m_devices, reply.mac)) {
        m_limitReached = true;
        return;
    }
    if (mergeReply(m_devices, reply, interfaceIndex, m_round))
        m_newInRound = true;
    emit replyTaken(reply, interfaceIndex, source);
    if (m_finished) // the caller stopped the search
        return;
    if (m_options.onlyMacs.isEmpty())
        m_quiet.start();
}

void SearchSession::roundWentQuiet()
{
    if (!m_options.onlyMacs.isEmpty() || m_round < m_options.rounds || m_newInRound)
        startRound();
    else if (!m_devices.isEmpty())
        finish();
    // Nothing has answered yet: listen on until the deadline.
}

void SearchSession::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    if (m_options.onlyMacs.isEmpty())
        markSharedAddresses(m_devices);
    m_quiet.stop();
    m_deadline.stop();
    disconnect(&m_link, &DeviceLink::replyReceived, this, &SearchSession::takeReply);
    emit finished();
}

bool SearchSession::hasFailed(const Adapters::Adapter &adapter) const
{
    return std::any_of(m_failed.cbegin(), m_failed.cend(),
                       [&adapter](const SearchRound::Failure &failed) { return failed.adapterName == adapter.name; });
}
