#include "network.h"

#include "command.h"

#include <QCoreApplication>

namespace Cli {

std::optional<int> Network::open()
{
    const QStringList wanted = m_command.interfaces();
    const Adapters::Choice choice = Adapters::choose(Adapters::systemCandidates(), wanted);
    if (!choice.unknown.isEmpty())
        return m_command.fail(UsageError, QStringLiteral("no adapter is named %1").arg(choice.unknown.join(QLatin1String(", "))));
    QStringList skipped;
    for (const Adapters::Skipped &adapter : choice.skipped) {
        if (!adapter.loopback || !wanted.isEmpty())
            skipped.append(QStringLiteral("%1 (%2)").arg(adapter.name, adapter.reason));
    }
    if (choice.adapters.isEmpty()) {
        return m_command.fail(Environment, QStringLiteral("no adapter can reach devices%1")
                                               .arg(skipped.isEmpty() ? QString() : QLatin1String(": ") + skipped.join(QLatin1String(", "))),
                              QStringLiteral("no-adapter"));
    }
    if (!skipped.isEmpty())
        m_command.note(QStringLiteral("not searching on %1").arg(skipped.join(QLatin1String(", "))));
    m_adapters = choice.adapters;

    const DevicePort::Opening opening = m_endpoint.open(QStringLiteral("kvrctl700-cli %1").arg(m_command.name()));
    switch (opening.outcome) {
    case DevicePort::Opening::Bound:
        return std::nullopt;
    case DevicePort::Opening::HeldByAnotherProgram:
        return m_command.fail(Environment, QStringLiteral("UDP port 102 is in use by %1; close it first")
                                               .arg(opening.holder.isEmpty() ? QStringLiteral("another kvrctl700 program")
                                                                             : opening.holder),
                              QStringLiteral("port-in-use"));
    case DevicePort::Opening::InUse:
        return m_command.fail(Environment, QStringLiteral("UDP port 102 is in use by another program (%1)").arg(opening.detail),
                              QStringLiteral("port-in-use"));
    case DevicePort::Opening::NotPermitted:
        return m_command.fail(Environment, QStringLiteral("binding UDP port 102 needs root or the capability "
                                                          "cap_net_bind_service: sudo setcap cap_net_bind_service=+ep %1")
                                               .arg(QCoreApplication::applicationFilePath()),
                              QStringLiteral("no-port-right"));
    case DevicePort::Opening::Failed:
        break;
    }
    return m_command.fail(Environment, QStringLiteral("cannot bind UDP port 102: %1").arg(opening.detail),
                          QStringLiteral("bind-failed"));
}

QString sendFailureText(DeviceLink::SendFailure failure, const QString &systemError)
{
    switch (failure) {
    case DeviceLink::SendFailure::PortNotOpen:
        return QStringLiteral("port %1 is not open").arg(Frame::DevicePort);
    case DeviceLink::SendFailure::NotADeviceAddress:
        return QStringLiteral("not the address of one device");
    case DeviceLink::SendFailure::NetworkError:
    case DeviceLink::SendFailure::None:
        break;
    }
    return systemError;
}

std::optional<QList<FoundDevice>> Network::search()
{
    const SearchSession::Options options = m_command.searchOptions();
    SearchSession session(m_endpoint, m_adapters, options);
    m_search = &session;
    session.start();
    waitUntilFinished(session);
    m_roundsSent = session.roundsSent();
    for (const SearchRound::Failure &failed : session.failedAdapters())
        m_command.note(QStringLiteral("cannot search on %1: %2")
                           .arg(failed.adapterName, sendFailureText(failed.failure, failed.systemError)));
    if (session.deviceLimitReached())
        m_command.note(QStringLiteral("more than %1 devices answered: the search lists the first %1 and stopped "
                                      "listening to new ones")
                           .arg(options.maxDevices));
    if (!session.anySent())
        return std::nullopt;
    return session.devices();
}

void Network::stopSearch()
{
    if (m_search)
        m_search->stop();
}

QString Network::adapterSummary() const
{
    QStringList names;
    for (const Adapters::Adapter &adapter : m_adapters)
        names.append(QStringLiteral("%1 (%2)").arg(adapter.name, adapter.addressText()));
    return names.join(QLatin1String(", "));
}

} // namespace Cli
