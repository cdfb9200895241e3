#pragma once

#include "commissioning/adapters.h"
#include "commissioning/deviceendpoint.h"
#include "commissioning/founddevice.h"
#include "commissioning/searchsession.h"

#include <QPointer>

#include <optional>

namespace Cli {

class Command;

// "port 102 is not open", "not the address of one device", or the system's words for a
// NetworkError.
QString sendFailureText(DeviceLink::SendFailure failure, const QString &systemError);

// The program's side of the network for one sub-command: the adapters chosen and the endpoint on
// port 102.
class Network
{
public:
    explicit Network(const Command &command) : m_command(command) {}

    // Chooses the adapters (-i) and opens port 102. Nothing when ready; otherwise the exit code,
    // once the reason has been printed.
    std::optional<int> open();

    // Searches, and reports adapters that could not send on standard error. Nothing when no
    // search frame could leave at all (reported; exit code 3).
    std::optional<QList<FoundDevice>> search();

    // Ends a search under way at once (an interruption); it returns what it found so far.
    void stopSearch();

    DeviceEndpoint &endpoint() { return m_endpoint; }
    const QList<Adapters::Adapter> &adapters() const { return m_adapters; }
    int roundsSent() const { return m_roundsSent; }
    // "eth1 (192.168.1.5/24), eth2 (10.0.0.5/8)"
    QString adapterSummary() const;

private:
    const Command &m_command;
    DeviceEndpoint m_endpoint;
    QList<Adapters::Adapter> m_adapters;
    int m_roundsSent = 0;
    QPointer<SearchSession> m_search;
};

} // namespace Cli
